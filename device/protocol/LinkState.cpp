#include "device/protocol/LinkState.h"

#include <algorithm>

namespace ovrel {

int LinkState::PrepareCommand(std::uint8_t letter, std::span<const std::uint8_t> payload) {
  ExpectedCmd = letter;
  WaitingReply = true;
  return BuildFrame(TxBuf, letter, payload);
}

void LinkState::RestartFrameAssembly() {
  RxPos = 0;
  RxFrameLen = kFrameOverhead;
}

void LinkState::Receive(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) {
    RxFrameBuf[RxPos] = b;
    if (RxPos == 3) RxFrameLen = b + kFrameOverhead;
    if (RxPos >= RxFrameLen - 1) {
      RxPos = -1;
      Dispatch();
    }
    ++RxPos;
  }
}

void LinkState::Dispatch() {
  const auto& f = RxFrameBuf;
  const std::uint8_t letter = f[2];
  if (Autodetecting) {
    if (ExpectedCmd != cmd::S) return;
    if (letter == cmd::ProbeAnswerE) {
      WaitingReply = false;
    } else if (letter == cmd::S && f[4] == 'S' && f[5] == 'V' && f[6] == '2' && f[8] == '3') {
      WaitingReply = false;
    }
    return;
  }
  if (letter != ExpectedCmd) {
    WrongReply = true;
    return;
  }
  WaitingReply = false;
  if (letter == cmd::X) {
    DeviceCS = f[4];
  } else if (letter == cmd::r) {
    // Only the part of the payload that lies inside the image is stored.
    const int n = f[3];
    const int base = std::clamp(ReadBase, 0, SesMemSize);
    const int count = std::min(n, SesMemSize - base);
    std::copy_n(f.begin() + 4, count, MemImgBuf.begin() + base);
  }
}

}  // namespace ovrel
