#include "device/operations/MemoryDownload.h"

#include <algorithm>

namespace ovrel {

void MemoryDownload::Begin() {
  image_.fill(0);
  if (!OpenPort(portFailure_)) return;
  Step(cmd::I, {}, Context().Timing().ReplyTimeout, [this](auto) { ReadBlock(0); });
}

void MemoryDownload::ReadBlock(int block) {
  if (block == kBlockCount) {
    if (closeTransfer_)
      Step(cmd::O, {}, Context().Timing().ReplyTimeout, [this](auto) { Done(); });
    else
      Done();
    return;
  }
  const ReadPayload payload = ReadBlockPayload(block);
  Step(
      cmd::r, payload.Bytes, Context().Timing().ReplyTimeout,
      [this, block](std::span<const std::uint8_t> reply) {
        Store(block, reply);
        ReadBlock(block + 1);
      },
      block);
}

void MemoryDownload::Store(int block, std::span<const std::uint8_t> reply) {
  // Only the part of the payload that lies inside the image is stored.
  const auto base = static_cast<std::size_t>(block * kBlockSize);
  const std::size_t count = std::min(reply.size(), image_.size() - base);
  std::copy_n(reply.begin(), count, image_.begin() + static_cast<std::ptrdiff_t>(base));
}

void MemoryDownload::Done() {
  Context().Line().Close();
  SetResultImage(image_);
  Succeed();
}

}  // namespace ovrel
