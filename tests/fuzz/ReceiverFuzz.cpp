// The receiver: frame assembly and matching fed an arbitrary byte stream.
// Input: a flag byte (bit 0 a probe, bit 1 a wrong reply already seen), the
// awaited letter, two unused bytes, a seed for the cut points, then the
// stream.
//
// Properties: the stream fed whole and fed in pieces cut at arbitrary
// points leave the same state; the bytes of a partial frame at the end are
// exactly those after the last complete frame; the receiver never writes
// outside its buffers (it lives on the heap, so a store past it is
// reported); a probe never sees a wrong reply.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "device/protocol/ReplyReceiver.h"
#include "fuzz/FuzzCheck.h"

namespace {

constexpr std::uint8_t kLetters[] = {'S', 'I', 'r', 'C', 'W', 'D', 'E', 'X', 'O'};

const std::uint8_t kWrongFrame[] = {'A', 'T', 0, 0, 0};

std::unique_ptr<ovrel::ReplyReceiver> Prepared(std::uint8_t flags, std::uint8_t letter) {
  auto receiver = std::make_unique<ovrel::ReplyReceiver>();
  if (flags & 2) {
    // A frame with a letter no command has leaves a wrong reply behind.
    receiver->Await(letter == 0 ? 1 : letter);
    receiver->Receive(kWrongFrame);
  }
  if (flags & 1)
    receiver->AwaitProbeAnswer();
  else
    receiver->Await(letter);
  return receiver;
}

bool SameState(const ovrel::ReplyReceiver& a, const ovrel::ReplyReceiver& b) {
  return a.PartialBytes() == b.PartialBytes() && a.Replied() == b.Replied() &&
         a.WrongReply() == b.WrongReply() &&
         std::ranges::equal(a.Payload(), b.Payload());
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
  std::uint32_t seed = data[4] | (data[5] << 8) | 1u;
  const std::span<const std::uint8_t> stream(data + 6, size - 6);

  auto whole = Prepared(flags, letter);
  whole->Receive(stream);

  auto pieces = Prepared(flags, letter);
  std::size_t at = 0;
  while (at < stream.size()) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t piece = std::min<std::size_t>(stream.size() - at, (seed >> 16) % 300 + 1);
    pieces->Receive(stream.subspan(at, piece));
    at += piece;
  }
  FUZZ_CHECK(SameState(*whole, *pieces));

  const std::size_t tail = PartialTail(stream);
  FUZZ_CHECK(whole->PartialBytes() == static_cast<int>(tail));
  FUZZ_CHECK(whole->PartialBytes() >= 0 && whole->PartialBytes() < ovrel::kMaxFrameLen);
  if (flags & 1) FUZZ_CHECK(whole->WrongReply() == static_cast<bool>(flags & 2));
  return 0;
}
