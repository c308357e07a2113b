#include "device/operations/LibraryUpload.h"

#include <vector>

namespace ovrel {

LibraryUpload::LibraryUpload(const MemoryImage& image, bool startTransfer)
    : image_(image), checksum_(ImageChecksum(image)), startTransfer_(startTransfer) {}

void LibraryUpload::Begin() {
  SetResultImage(image_);
  if (!OpenPort(LinkText::PortOpenFailed)) return;
  const LinkTiming& t = Context().Timing();
  const auto fromC = [this, &t](auto...) {
    Step(cmd::C, {}, t.LongReplyTimeout, [this, &t](auto) {
      Step(cmd::W, {}, t.ReplyTimeout, [this](auto) { SendBlock(0); });
    });
  };
  if (startTransfer_)
    Step(cmd::I, {}, t.ReplyTimeout, fromC);
  else
    fromC();
}

void LibraryUpload::SendBlock(int block) {
  const LinkTiming& t = Context().Timing();
  if (block == kBlockCount) {
    Step(cmd::E, {}, t.ReplyTimeout, [this, &t](auto) {
      Step(cmd::X, {}, t.ReplyTimeout, [this, &t](std::span<const std::uint8_t> checksum) {
        // Kept past the reply to O, which replaces the receiver's payload.
        const std::vector<std::uint8_t> sum(checksum.begin(), checksum.end());
        Step(cmd::O, {}, t.ReplyTimeout, [this, sum](auto) { Finishing(sum); });
      });
    });
    return;
  }
  const auto bytes = std::span(image_).subspan(block * kBlockSize, kBlockSize);
  Step(cmd::D, bytes, t.ReplyTimeout, [this, block](auto) { SendBlock(block + 1); }, block);
}

void LibraryUpload::Finishing(std::span<const std::uint8_t> checksumReply) {
  // The device's checksum is the first byte of the reply to X.
  if (checksumReply.empty() || checksumReply[0] != checksum_) {
    Fail(FailureKind::Checksum, {LinkText::CheckSumError, {}, {}});
    return;
  }
  Succeed();
}

}  // namespace ovrel
