#pragma once
// Command and reply frames of the device: 'A' 'T' letter length payload
// checksum, the checksum being the exclusive-or of letter, length and payload.

#include <cstddef>
#include <cstdint>
#include <span>

#include "library/LibraryImage.h"

namespace ovrel {

inline constexpr int kFrameOverhead = 5;  // A, T, letter, length, checksum
inline constexpr int kMaxFrameLen = 255 + kFrameOverhead;
inline constexpr int kBlockSize = 128;  // bytes of one D or r block
inline constexpr int kBlockCount = SesMemSize / kBlockSize;

// The command letters the program sends; each reply carries the same letter.
namespace cmd {
inline constexpr std::uint8_t S = 'S';  // probe
inline constexpr std::uint8_t I = 'I';  // open a transfer
inline constexpr std::uint8_t r = 'r';  // read 128 bytes of session memory
inline constexpr std::uint8_t C = 'C';  // prepare the memory for writing
inline constexpr std::uint8_t W = 'W';  // start writing
inline constexpr std::uint8_t D = 'D';  // one 128-byte block
inline constexpr std::uint8_t E = 'E';  // end of the blocks
inline constexpr std::uint8_t X = 'X';  // report the checksum of the library
inline constexpr std::uint8_t O = 'O';  // close the transfer
inline constexpr std::uint8_t ProbeAnswerE = 'e';
}  // namespace cmd

// Exclusive-or of the bytes, starting from 0.
std::uint8_t XorSum(std::span<const std::uint8_t> bytes);

// Builds the frame at the start of out (which must hold payload.size() + 5
// bytes, payload at most 255 bytes) and returns its length.
int BuildFrame(std::span<std::uint8_t> out, std::uint8_t letter,
               std::span<const std::uint8_t> payload);

// The 3-byte payload of the r command for block k (0 to 15): address high
// byte, address low byte, byte count 128.
struct ReadPayload {
  std::uint8_t Bytes[3];
};
ReadPayload ReadBlockPayload(int block);

}  // namespace ovrel
