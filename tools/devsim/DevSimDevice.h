// The emulated device: assembles command frames from the bytes received,
// answers each with a reply frame of the same letter, and keeps the
// 2048-byte session memory that uploads write and reads return.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "DevSimOptions.h"

namespace devsim {

constexpr size_t MemorySize = 2048;
using Bytes = std::vector<std::uint8_t>;

// A frame: A T letter length payload checksum, the checksum being the
// exclusive-or of the letter, the length and the payload.
Bytes BuildFrame(char letter, const Bytes& payload);

struct Reply {
  Bytes Frame;
  int DelayMs = 0;  // time the device takes before it starts to answer
};

class Device {
 public:
  explicit Device(const Options& options);

  std::array<std::uint8_t, MemorySize>& Memory() { return memory_; }

  // Takes received bytes; returns the replies to the commands they complete.
  std::vector<Reply> Feed(const std::uint8_t* data, size_t count);

  // Set when an upload completed (E or O) since the last call.
  bool TakeUploadCompleted();
  // Set when a data block changed the memory since the last call.
  bool TakeBlockStored();
  // Set when the device is to hang up (see --hangup-after).
  bool HangupRequested() const { return hangup_; }
  // Commands received and answered (or refused by a fault) so far.
  int CommandCount() const { return commands_; }
  // With --strict: false once a byte arrived outside a well-formed frame,
  // or while part of a frame is still waiting for the rest.
  bool WireClean() const { return !strictBroken_ && input_.empty(); }
  // One line per command received, for --log.
  std::vector<std::string> TakeLog();

 private:
  void Execute(char letter, const Bytes& payload, std::vector<Reply>& replies);
  Bytes Answer(char letter, const Bytes& payload, int& delayMs);
  bool Faulted(const std::vector<CommandFault>& faults, char letter) const;
  std::uint8_t MemoryChecksum() const;
  void NoiseReceived(size_t count, const char* what);

  Options options_;
  std::array<std::uint8_t, MemorySize> memory_{};
  Bytes input_;
  size_t writeOffset_ = 0;
  bool flipped_ = false;  // --flip-byte has inverted a byte of this upload
  int commands_ = 0;
  std::map<char, int> countByLetter_;
  bool uploadCompleted_ = false;
  bool blockStored_ = false;
  bool hangup_ = false;
  bool strictBroken_ = false;
  std::vector<std::string> log_;
};

}  // namespace devsim
