#pragma once
// The state of the device link that the receiver and the exchanges share,
// and the receiver itself: it assembles reply frames from received bytes
// and matches each complete frame against the command that is awaited.

#include <array>
#include <cstdint>
#include <span>

#include "device/protocol/Frame.h"

namespace ovrel {

class LinkState {
 public:
  std::array<std::uint8_t, SesMemSize> TxBuf{};
  std::array<std::uint8_t, SesMemSize> RxRawBuf{};
  // Room for the longest frame a length byte can announce.
  std::array<std::uint8_t, kMaxFrameLen> RxFrameBuf{};
  int RxPos = 0;
  int RxFrameLen = kFrameOverhead;
  std::uint8_t ExpectedCmd = 0;
  bool WaitingReply = false;
  bool WrongReply = false;
  bool Autodetecting = false;
  std::uint8_t DeviceCS = 0;
  std::uint8_t LibCS = 0;
  int ReadBase = 0;
  std::array<std::uint8_t, SesMemSize> MemImgBuf{};

  // Builds the command frame at the start of TxBuf, sets ExpectedCmd to its
  // letter and WaitingReply; returns the frame length.
  int PrepareCommand(std::uint8_t letter, std::span<const std::uint8_t> payload = {});

  // Feeds received bytes, in order, to the frame assembly; each complete
  // frame is dispatched before the next byte is looked at.
  void Receive(std::span<const std::uint8_t> bytes);

  // Forgets any partly received frame (a port was opened afresh).
  void RestartFrameAssembly();

  // True once the awaited reply is in or a wrong reply ended the wait.
  bool ReplyWaitOver() const { return !WaitingReply || WrongReply; }

 private:
  void Dispatch();
};

}  // namespace ovrel
