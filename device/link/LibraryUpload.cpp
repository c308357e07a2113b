#include "device/link/LibraryUpload.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "device/link/DeviceLink.h"
#include "library/LibraryImage.h"
#include "session/FileBytes.h"

namespace ovrel {

LibraryUpload::LibraryUpload(QString path) : Path(std::move(path)) {}

LibraryUpload::LibraryUpload(const Image& image, std::uint8_t checksum, bool startTransfer)
    : Bytes(image), Checksum(checksum), StartTransfer(startTransfer) {}

bool LibraryUpload::ReadLibraryFile() {
  if (!QFileInfo(Path).isFile()) {
    Fail(FailureKind::File, {linktext::kLibFileNotFound, LinkIcon::Error, {}});
    return false;
  }
  const FileBytes file = ReadFileBytes(QFile::encodeName(Path).toStdString(), SesMemSize);
  if (file.Fault == FileBytesFault::TooLarge) {
    Fail(FailureKind::File, {linktext::kLibFileTooBig, LinkIcon::Error, Path});
    return false;
  }
  if (!file) {
    Fail(FailureKind::File, {linktext::kLibFileUnreadable, LinkIcon::Error,
                             QString::fromStdString(file.Error)});
    return false;
  }
  const std::string& data = *file.Bytes;
  Bytes.fill(0);
  std::copy(data.begin(), data.end(), Bytes.begin());
  const auto size = data.size();
  Checksum = size < 2 ? 0 : LibChecksum(std::span(Bytes).first(size - 1));
  return true;
}

void LibraryUpload::Begin() {
  LinkState& state = Link().State;
  state.MemImgBuf.fill(0);
  if (!Path.isEmpty() && !ReadLibraryFile()) return;
  state.MemImgBuf = Bytes;
  state.LibCS = Checksum;
  state.WrongReply = false;
  if (!OpenPort(linktext::kPortOpenFailed)) return;
  const LinkTiming& t = Link().Timing;
  const auto fromC = [this, &t] {
    Step(cmd::C, {}, t.LongReplyTimeout, [this, &t] {
      Step(cmd::W, {}, t.ReplyTimeout, [this] { SendBlock(0); });
    });
  };
  if (StartTransfer)
    Step(cmd::I, {}, t.ReplyTimeout, fromC);
  else
    fromC();
}

void LibraryUpload::SendBlock(int block) {
  const LinkTiming& t = Link().Timing;
  if (block == kBlockCount) {
    Step(cmd::E, {}, t.ReplyTimeout, [this, &t] {
      Step(cmd::X, {}, t.ReplyTimeout,
           [this, &t] { Step(cmd::O, {}, t.ReplyTimeout, [this] { Finishing(); }); });
    });
    return;
  }
  const auto bytes = std::span(Link().State.MemImgBuf).subspan(block * kBlockSize, kBlockSize);
  Step(cmd::D, bytes, t.ReplyTimeout, [this, block] { SendBlock(block + 1); }, block);
}

void LibraryUpload::Finishing() {
  if (Link().State.DeviceCS != Link().State.LibCS) {
    Fail(FailureKind::Checksum, {linktext::kCheckSumError, LinkIcon::None, {}});
    return;
  }
  Succeed();
}

}  // namespace ovrel
