#include "device/link/MemoryDownload.h"

#include <algorithm>

#include "device/link/DeviceLink.h"

namespace ovrel {

void MemoryDownload::Begin() {
  image_.fill(0);
  // The add's download speaks of the upload it is part of; a read of its
  // own says that the read failed.
  const QString& failure = !portFailureText_.isEmpty() ? portFailureText_
                           : closeTransfer_              ? linktext::kReadPortOpenFailed
                                                         : linktext::kPortOpenFailed;
  if (!OpenPort(failure)) return;
  Step(cmd::I, {}, Link().Timing.ReplyTimeout, [this](auto) { ReadBlock(0); });
}

void MemoryDownload::ReadBlock(int block) {
  if (block == kBlockCount) {
    if (closeTransfer_)
      Step(cmd::O, {}, Link().Timing.ReplyTimeout, [this](auto) { Done(); });
    else
      Done();
    return;
  }
  const ReadPayload payload = ReadBlockPayload(block);
  Step(
      cmd::r, payload.Bytes, Link().Timing.ReplyTimeout,
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
  Link().Line().Close();
  if (Link().KeepMemoryImage) {
    const QString error = Link().KeepMemoryImage(image_);
    if (!error.isEmpty()) Notes.push_back({linktext::kBackupFailed, LinkIcon::Error, error});
  }
  SetResultImage(image_);
  Succeed();
}

}  // namespace ovrel
