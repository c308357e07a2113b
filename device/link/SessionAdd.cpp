#include "device/link/SessionAdd.h"

#include <QFile>

#include "device/link/DeviceLink.h"
#include "device/link/LibraryUpload.h"
#include "device/link/MemoryDownload.h"
#include "session/AtomicFile.h"
#include "session/FileBytes.h"

namespace ovrel {

bool SessionAdd::ReadSessionFile() {
  const std::string fileName = QFile::encodeName(path_).toStdString();
  const FileBytes file = ReadFileBytes(fileName, kMaxTextFileBytes);
  // Only a missing file is "not found"; a pipe, a folder or a device is
  // named for what it is in the reader's reason.
  if (file.Fault == FileBytesFault::Missing) {
    Fail(FailureKind::File, {linktext::kSesFileNotFound, LinkIcon::Error, {}});
    return false;
  }
  if (file.Fault == FileBytesFault::NotRegular) {
    Fail(FailureKind::File, {linktext::kSesFileNotRegular, LinkIcon::Error,
                             QString::fromStdString(file.Error)});
    return false;
  }
  if (!file) {
    Fail(FailureKind::File, {linktext::kSesFileUnreadable, LinkIcon::Error,
                             QString::fromStdString(file.Error)});
    return false;
  }
  SessionRecordRead read = ReadSessionRecord(*file.Bytes, fileName);
  if (!read.Session) {
    Fail(FailureKind::File,
         {QString::fromStdString(read.Error) + QStringLiteral(". The session was not added."),
          LinkIcon::Error, path_});
    return false;
  }
  session_ = std::move(read.Session);
  return true;
}

void SessionAdd::Begin() {
  // The session file is read before the device is touched, so that a file
  // that cannot be added leaves the device alone.
  if (!ReadSessionFile()) return;
  RunChild(std::make_unique<MemoryDownload>(false),
           [this](const OperationResult& download) { Downloaded(download); });
}

void SessionAdd::RunChild(std::unique_ptr<DeviceOperation> child,
                          std::function<void(const OperationResult&)> then) {
  // The child that just finished may still be on the call stack.
  endedChild_ = std::move(child_);
  child_ = std::move(child);
  connect(child_.get(), &DeviceOperation::Finished, this,
          [then = std::move(then)](const OperationResult& result) { then(result); });
  child_->Start(Link());
}

void SessionAdd::Downloaded(const OperationResult& download) {
  if (download.Ok() && Link().StopWhenNotKept) {
    for (const LinkMessage& note : download.Notes) {
      if (note.Text == linktext::kBackupFailed) {
        Abandon(FailureKind::File, note);
        return;
      }
    }
  }
  Notes.insert(Notes.end(), download.Notes.begin(), download.Notes.end());
  if (!download.Ok()) {
    OperationResult failed = download;
    failed.Notes.clear();
    Finish(std::move(failed));
    return;
  }
  // The download's result always carries the image it read.
  OperationResult::Image image = *download.MemImg;
  if (const auto error = SaveWorkingFile(linktext::kMemImgFile, image)) {
    Abandon(FailureKind::File,
            {QStringLiteral("The file \"%1\" cannot be written.").arg(linktext::kMemImgFile),
             LinkIcon::Error, *error});
    return;
  }
  if (const auto invalid = CheckLibraryImage(image)) {
    Abandon(FailureKind::InvalidDeviceImage,
            {linktext::kInvalidDeviceLibrary, LinkIcon::Error,
             QStringLiteral("The session memory read from Sorvani is not a session library: ") +
                 QString::fromStdString(*invalid) + QStringLiteral(".")});
    return;
  }
  const AppendOutcome merged = AppendSession(image, *session_);
  if (!merged.Fits) {
    Abandon(FailureKind::MemoryLimit, {linktext::kMemoryLimit, LinkIcon::Error, {}});
    return;
  }
  const LinkDuration pause = PauseLength(Link().Timing);
  Link().PauseBegins(pause);
  Link().Line().Pause(
      pause,
      [this, image, checksum = merged.LibCS, length = merged.L] {
        Upload(image, checksum, length);
      },
      [this] { Link().ReportPause(); });
}

void SessionAdd::Upload(const OperationResult::Image& image, std::uint8_t checksum,
                        int libraryLength) {
  RunChild(std::make_unique<LibraryUpload>(image, checksum, false),
           [this, libraryLength, image](const OperationResult& upload) {
             // The merged library is kept whether or not the upload went through.
             const auto used = std::span(image).first(static_cast<std::size_t>(libraryLength) + 1);
             if (const auto error = SaveWorkingFile(linktext::kTempSesLibFile, used)) {
               Notes.push_back(
                   {QStringLiteral("The file \"%1\" cannot be written.").arg(linktext::kTempSesLibFile),
                    LinkIcon::Error, *error});
             }
             Finish(upload);
           });
}

void SessionAdd::Abandon(FailureKind kind, LinkMessage message) {
  // Close the transfer the download opened: O without the settle delay.
  LinkLine& line = Link().Line();
  if (!line.IsOpen() && line.Open(Link().Port())) {
    Fail(kind, std::move(message));
    return;
  }
  Link().Report(static_cast<char>(cmd::O));
  line.Exchange(cmd::O, {}, LinkDuration::zero(), Link().Timing.ReplyTimeout,
                [this, kind, message = std::move(message)](ExchangeEnd, auto) {
                  Fail(kind, message);
                });
}

std::optional<QString> SessionAdd::SaveWorkingFile(const QString& name,
                                                   std::span<const std::uint8_t> bytes) {
  const FileWriteResult written = WriteFileAtomically(
      QFile::encodeName(Link().WorkingFilePath(name)).toStdString(),
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (written) return std::nullopt;
  return QString::fromStdString(written.Error);
}

}  // namespace ovrel
