#include "device/link/LibraryUpload.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "device/link/DeviceLink.h"
#include "library/LibraryImage.h"
#include "session/FileBytes.h"

namespace ovrel {

LibraryUpload::LibraryUpload(QString path) : path_(std::move(path)), fromFile_(true) {}

LibraryUpload::LibraryUpload(const Image& image, std::uint8_t checksum, bool startTransfer)
    : image_(image), checksum_(checksum), startTransfer_(startTransfer) {}

bool LibraryUpload::ReadLibraryFile() {
  const FileBytes file = ReadFileBytes(QFile::encodeName(path_).toStdString(), SesMemSize);
  // Only a missing file is "not found"; a pipe, a folder or a device is
  // named for what it is in the reader's reason.
  if (file.Fault == FileBytesFault::Missing) {
    Fail(FailureKind::File, {linktext::kLibFileNotFound, LinkIcon::Error, {}});
    return false;
  }
  if (file.Fault == FileBytesFault::NotRegular) {
    Fail(FailureKind::File, {linktext::kLibFileNotRegular, LinkIcon::Error,
                             QString::fromStdString(file.Error)});
    return false;
  }
  if (file.Fault == FileBytesFault::TooLarge) {
    Fail(FailureKind::File, {linktext::kLibFileTooBig, LinkIcon::Error, path_});
    return false;
  }
  if (!file) {
    Fail(FailureKind::File, {linktext::kLibFileUnreadable, LinkIcon::Error,
                             QString::fromStdString(file.Error)});
    return false;
  }
  const std::string& data = *file.Bytes;
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()),
                                            data.size());
  // Nothing that is not a sound library is sent: an upload replaces the
  // whole memory, so an empty, cut or damaged file would wipe the library
  // in the device. A file of the memory's whole size (a raw read) may carry
  // bytes after its library.
  const LibImageInfo info = ReadLibraryImage(
      bytes, data.size() == SesMemSize ? LibImageLength::Memory : LibImageLength::Exact);
  if (!info.Valid()) {
    QStringList problems;
    for (const std::string& problem : info.Problems) problems << QString::fromStdString(problem);
    Fail(FailureKind::File, {linktext::kLibFileNotSound, LinkIcon::Error,
                             QStringLiteral("%1: %2").arg(path_, problems.join(QStringLiteral("; ")))});
    return false;
  }
  image_.fill(0);
  std::copy(data.begin(), data.end(), image_.begin());
  checksum_ = static_cast<std::uint8_t>(info.ComputedChecksum);
  return true;
}

void LibraryUpload::Begin() {
  if (fromFile_ && !ReadLibraryFile()) return;
  SetResultImage(image_);
  if (!OpenPort(linktext::kPortOpenFailed)) return;
  const LinkTiming& t = Link().Timing;
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
  const LinkTiming& t = Link().Timing;
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
    Fail(FailureKind::Checksum, {linktext::kCheckSumError, LinkIcon::None, {}});
    return;
  }
  Succeed();
}

}  // namespace ovrel
