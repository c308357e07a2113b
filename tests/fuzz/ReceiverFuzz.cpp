// The receiver: frame assembly and dispatch fed an arbitrary byte stream.
// Input: a flag byte (bit 0 autodetecting, bit 1 a wrong reply already
// seen), the awaited letter, ReadBase (two bytes, 0 to 2047), a seed for the
// cut points, then the stream.
//
// Properties: the stream fed whole and fed in pieces cut at arbitrary
// points leave the same state; the bytes of a partial frame at the end are
// exactly those after the last complete frame; the receiver never writes
// outside its buffers (the state lives on the heap, MemImgBuf last, so a
// store past it is reported).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "device/protocol/LinkState.h"
#include "fuzz/FuzzCheck.h"

namespace {

constexpr std::uint8_t kLetters[] = {'S', 'I', 'r', 'C', 'W', 'D', 'E', 'X', 'O'};

std::unique_ptr<ovrel::LinkState> Prepared(std::uint8_t flags, std::uint8_t letter, int readBase) {
  auto state = std::make_unique<ovrel::LinkState>();
  state->Autodetecting = flags & 1;
  state->WrongReply = flags & 2;
  state->ExpectedCmd = letter;
  state->WaitingReply = true;
  state->ReadBase = readBase;
  return state;
}

bool SameState(const ovrel::LinkState& a, const ovrel::LinkState& b) {
  return a.RxPos == b.RxPos && a.RxFrameLen == b.RxFrameLen && a.WaitingReply == b.WaitingReply &&
         a.WrongReply == b.WrongReply && a.DeviceCS == b.DeviceCS && a.MemImgBuf == b.MemImgBuf;
}

// Bytes left over after the last complete frame of the stream: each frame
// is its length byte (the fourth) plus five.
std::size_t PartialTail(std::span<const std::uint8_t> stream) {
  std::size_t at = 0;
  while (stream.size() - at >= 4) {
    const std::size_t frame = stream[at + 3] + 5u;
    if (stream.size() - at < frame) break;
    at += frame;
  }
  return stream.size() - at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint8_t flags = data[0];
  const std::uint8_t letter =
      data[1] < sizeof kLetters ? kLetters[data[1]] : static_cast<std::uint8_t>(data[1]);
  const int readBase = (data[2] << 8 | data[3]) % ovrel::SesMemSize;
  std::uint32_t seed = data[4] | (data[5] << 8) | 1u;
  const std::span<const std::uint8_t> stream(data + 6, size - 6);

  auto whole = Prepared(flags, letter, readBase);
  whole->Receive(stream);

  auto pieces = Prepared(flags, letter, readBase);
  std::size_t at = 0;
  while (at < stream.size()) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t piece = std::min<std::size_t>(stream.size() - at, (seed >> 16) % 300 + 1);
    pieces->Receive(stream.subspan(at, piece));
    at += piece;
  }
  FUZZ_CHECK(SameState(*whole, *pieces));

  const std::size_t tail = PartialTail(stream);
  FUZZ_CHECK(whole->RxPos == static_cast<int>(tail));
  FUZZ_CHECK(whole->RxPos >= 0 && whole->RxPos < ovrel::kMaxFrameLen);
  if (whole->Autodetecting) FUZZ_CHECK(whole->WrongReply == static_cast<bool>(flags & 2));
  return 0;
}
