#include "device/jobs/DeviceJobs.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>

#include "device/operations/Autodetection.h"
#include "device/operations/LibraryUpload.h"
#include "device/operations/MemoryDownload.h"
#include "device/operations/SessionAdd.h"
#include "library/LibraryFileRead.h"
#include "library/SessionScan.h"
#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"
#include "storage/BackupHistory.h"

namespace ovrel {

namespace {

OperationResult Failed(FailureKind kind, LinkMessage message, JobStage stage = JobStage::None) {
  OperationResult result;
  result.Kind = kind;
  result.Message = std::move(message);
  result.Stage = stage;
  return result;
}

// True when two memories hold the same library (or, holding none, the same bytes).
bool SameMemory(const MemoryImage& a, const MemoryImage& b) {
  return std::ranges::equal(UsedImageBytes(a), UsedImageBytes(b));
}

// Writes one of the add's working files. A link at its name is never
// followed: the file in the working folder is the program's own.
std::optional<QString> SaveWorkingFile(const QString& folder, const QString& name,
                                       std::span<const std::uint8_t> bytes) {
  const QString path = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
  if (QFileInfo(path).isSymLink()) {
    return QStringLiteral("Cannot write %1: it is a symbolic link, which is not followed")
        .arg(path);
  }
  const FileWriteResult written =
      WriteFileAtomicallyNoFollow(QFile::encodeName(path).toStdString(),
                          std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (written) return std::nullopt;
  return QString::fromStdString(written.Error);
}

LinkMessage LibraryFileFailure(const QString& path, const LibraryFileRead& file) {
  const QString error = QString::fromStdString(file.Error);
  switch (file.Fault) {
    case LibraryFileFault::None:
      return {};
    case LibraryFileFault::Missing:
      return {LinkText::LibFileNotFound, {}, {}};
    case LibraryFileFault::NotRegular:
      return {LinkText::LibFileNotRegular, path, {}};
    case LibraryFileFault::TooBig:
      return {LinkText::LibFileTooBig, path, {}};
    case LibraryFileFault::Unreadable:
      return {LinkText::LibFileUnreadable, error, {}};
    case LibraryFileFault::NotSound:
      return {LinkText::LibFileNotSound, QStringLiteral("%1: %2").arg(path, error), {}};
  }
  return {};
}

}  // namespace

DeviceJobs::DeviceJobs(DeviceLink& link, QString backupFolder)
    : link_(link), backupFolder_(std::move(backupFolder)) {}

QString DeviceJobs::KeepBackup(const MemoryImage& image, BackupReason reason,
                               QString& path) const {
  BackupHistory history = backupFolder_.isEmpty() ? BackupHistory() : BackupHistory(backupFolder_);
  const BackupHistory::Kept kept = history.Keep(image, reason);
  path = kept.Error.isEmpty() ? kept.Path : QString();
  return kept.Error;
}

void DeviceJobs::NoteWrite(const QString& backupPath, std::optional<bool> whole) const {
  if (backupPath.isEmpty()) return;
  BackupHistory history = backupFolder_.isEmpty() ? BackupHistory() : BackupHistory(backupFolder_);
  if (whole)
    history.WriteEnded(backupPath, *whole);
  else
    history.WriteBegins(backupPath);
}

void DeviceJobs::Connect(Done done) {
  link_.Run(std::make_unique<Autodetection>(),
            [link = &link_, done = std::move(done)](const OperationResult& result) {
              if (!result.Port.isEmpty()) link->SetPort(result.Port);
              if (done) done(result);
            });
}

void DeviceJobs::Read(Done done, std::optional<BackupReason> reason) {
  link_.Run(std::make_unique<MemoryDownload>(true),
            [jobs = *this, done = std::move(done), reason](const OperationResult& read) {
              OperationResult result = read;
              result.Stage = JobStage::Read;
              if (result.Ok() && reason) {
                const QString error = jobs.KeepBackup(*result.MemImg, *reason, result.BackupPath);
                if (!error.isEmpty()) result.Notes.push_back({LinkText::BackupFailed, error, {}});
              }
              if (done) done(result);
            });
}

void DeviceJobs::UploadFile(const QString& path, WriteOptions options, Done done,
                            BackupReason reason) {
  // The file is read when the job's turn comes, as the device would be.
  link_.WhenIdle([jobs = *this, path, options = std::move(options), done = std::move(done),
                  reason] {
    const LibraryFileRead file = ReadLibraryFile(QFile::encodeName(path).toStdString());
    if (!file.Sound()) {
      // Nothing that is not a sound library is sent, and the device is not
      // even read for it.
      if (done) done(Failed(FailureKind::File, LibraryFileFailure(path, file)));
      return;
    }
    jobs.Start(file.Image(), options, done, reason, true);
  });
}

void DeviceJobs::Write(const MemoryImage& image, WriteOptions options, Done done,
                       BackupReason reason) {
  Start(image, options, std::move(done), reason, false);
}

void DeviceJobs::Start(const MemoryImage& image, const WriteOptions& options, Done done,
                       BackupReason reason, bool front) const {
  if (!options.Backup && !options.Expect) {
    WriteNow(image, options, {}, std::move(done), front);
    return;
  }
  ReadBeforeWrite(
      options, reason,
      [jobs = *this, image, options, done](OperationResult read) {
        jobs.WriteNow(image, options, std::move(read), done, true);
      },
      done, front);
}

void DeviceJobs::Edit(std::function<std::optional<MemoryImage>(const MemoryImage& read)> edit,
                      WriteOptions options, Done done) {
  ReadBeforeWrite(
      options, BackupReason::BeforeEdit,
      [jobs = *this, edit = std::move(edit), options, done](OperationResult read) {
        const std::optional<MemoryImage> image = edit(*read.MemImg);
        if (!image) {
          if (done) done(read);
          return;
        }
        jobs.WriteNow(*image, options, std::move(read), done, true);
      },
      done, false);
}

void DeviceJobs::ReadBeforeWrite(const WriteOptions& options, BackupReason reason,
                                 std::function<void(OperationResult read)> write, Done done,
                                 bool front) const {
  if (options.StageStarts) options.StageStarts(JobStage::Read);
  Queue(
      front, std::make_unique<MemoryDownload>(true, options.ReadPortFailure),
      [jobs = *this, options, reason, write = std::move(write), done](const OperationResult& got) {
        OperationResult read = got;
        read.Stage = JobStage::Read;
        if (!read.Ok()) {
          if (done) done(read);
          return;
        }
        const bool changed = options.Expect && !SameMemory(*options.Expect, *read.MemImg);
        if (changed) {
          // Nothing is written: what was read is kept as a plain read, never
          // taken for the memory before a write.
          OperationResult refused = read;
          if (options.Backup) jobs.KeepBackup(*read.MemImg, BackupReason::Read, refused.BackupPath);
          refused.Kind = FailureKind::Changed;
          refused.Message = {LinkText::ChangedSinceRead, {}, {}};
          if (done) done(refused);
          return;
        }
        if (options.Backup) {
          const QString error = jobs.KeepBackup(*read.MemImg, reason, read.BackupPath);
          if (!error.isEmpty()) {
            OperationResult notKept = read;
            notKept.Kind = FailureKind::NotKept;
            notKept.Message = {LinkText::BackupFailed, error, {}};
            if (!options.WriteWithoutBackup || !options.WriteWithoutBackup(notKept)) {
              if (done) done(notKept);
              return;
            }
          }
        }
        if (options.StageDone) options.StageDone(JobStage::Read, read);
        write(std::move(read));
      });
}

void DeviceJobs::Queue(bool front, std::unique_ptr<DeviceOperation> operation, Done done) const {
  if (front)
    link_.RunNext(std::move(operation), std::move(done));
  else
    link_.Run(std::move(operation), std::move(done));
}

void DeviceJobs::WriteNow(const MemoryImage& image, const WriteOptions& options,
                          OperationResult read, Done done, bool front) const {
  if (options.StageStarts) options.StageStarts(JobStage::Write);
  auto upload = std::make_unique<LibraryUpload>(image);
  // Until the write has gone through, the memory kept before it is what a
  // restore brings back, whatever is read meanwhile.
  NoteWrite(read.BackupPath, std::nullopt);
  Done then = [jobs = *this, image, options, read = std::move(read), done](const OperationResult& got) {
    OperationResult wrote = got;
    jobs.NoteWrite(read.BackupPath, wrote.Ok());
    wrote.Stage = JobStage::Write;
    wrote.BackupPath = read.BackupPath;
    wrote.Notes.insert(wrote.Notes.begin(), read.Notes.begin(), read.Notes.end());
    wrote.Written = image;
    if (!wrote.Ok() || !options.Verify) {
      if (done) done(wrote);
      return;
    }
    if (options.StageDone) options.StageDone(JobStage::Write, wrote);
    jobs.VerifyNow(image, options, std::move(wrote), done);
  };
  // After a read, before anything queued meanwhile: what was read is what
  // is replaced.
  Queue(front, std::move(upload), std::move(then));
}

void DeviceJobs::VerifyNow(const MemoryImage& written, const WriteOptions& options,
                           OperationResult wrote, Done done) const {
  if (options.StageStarts) options.StageStarts(JobStage::Verify);
  // The read back is no backup: it is not kept.
  link_.RunNext(
      std::make_unique<MemoryDownload>(true),
      [jobs = *this, written, wrote = std::move(wrote), done](const OperationResult& got) {
        OperationResult read = got;
        read.Stage = JobStage::Verify;
        read.BackupPath = wrote.BackupPath;
        read.Written = written;
        read.Notes.insert(read.Notes.begin(), wrote.Notes.begin(), wrote.Notes.end());
        if (read.Ok() && *read.MemImg != written) {
          read.Kind = FailureKind::Verify;
          read.Message = {LinkText::VerifyFailed, {}, {}};
          jobs.NoteWrite(read.BackupPath, false);
        }
        if (done) done(read);
      });
}

void DeviceJobs::Add(const QString& path, WriteOptions options, Done done) {
  // The session file is read when the job's turn comes, before the device
  // is touched, so that a file that cannot be added leaves the device alone.
  link_.WhenIdle([jobs = *this, path, options = std::move(options), done = std::move(done)] {
    jobs.AddNow(path, options, done);
  });
}

void DeviceJobs::AddNow(const QString& path, const WriteOptions& options, Done done) const {
  const QFileInfo info(path);
  if (!info.exists()) {
    if (done) done(Failed(FailureKind::File, {LinkText::SesFileNotFound, {}, {}}));
    return;
  }
  if (!info.isFile()) {
    if (done) done(Failed(FailureKind::File, {LinkText::SesFileNotRegular, path, {}}));
    return;
  }
  const std::string fileName = QFile::encodeName(path).toStdString();
  const FileBytes file = ReadFileBytes(fileName, kMaxTextFileBytes);
  if (!file) {
    if (done) {
      done(Failed(FailureKind::File,
                  {LinkText::SesFileUnreadable, QString::fromStdString(file.Error), {}}));
    }
    return;
  }
  SessionRecordRead read = ReadSessionRecord(*file.Bytes, fileName);
  if (!read.Session) {
    if (done) {
      done(Failed(FailureKind::File,
                  {LinkText::SesFileNotSound, path, QString::fromStdString(read.Error)}));
    }
    return;
  }
  // What the merge decided, for what follows the add.
  struct State {
    QString BackupPath;
    std::optional<MemoryImage> Merged;
    std::vector<LinkMessage> Notes;
  };
  auto state = std::make_shared<State>();
  const SessionRecord session = *read.Session;
  SessionAdd::Merge merge = [jobs = *this, state, session, options](const MemoryImage& memory) -> AddPlan {
    if (options.Backup) {
      const QString error = jobs.KeepBackup(memory, BackupReason::BeforeAdd, state->BackupPath);
      if (!error.isEmpty())
        return {std::nullopt, FailureKind::NotKept, {LinkText::BackupFailed, error, {}}};
    }
    MemoryImage image = memory;
    if (const auto error = SaveWorkingFile(options.WorkingFolder, linktext::kMemImgFile, image)) {
      return {std::nullopt, FailureKind::File,
              {LinkText::WorkingFileNotWritten, *error, linktext::kMemImgFile}};
    }
    if (const auto invalid = CheckLibraryImage(image)) {
      return {std::nullopt, FailureKind::InvalidDeviceImage,
              {LinkText::InvalidDeviceLibrary,
               QStringLiteral("The session memory read from Sorvani is not a session library: ") +
                   QString::fromStdString(*invalid) + QStringLiteral("."),
               {}}};
    }
    if (!AppendSession(image, session).Fits)
      return {std::nullopt, FailureKind::MemoryLimit, {LinkText::MemoryLimit, {}, {}}};
    state->Merged = image;
    jobs.NoteWrite(state->BackupPath, std::nullopt);
    return {image, FailureKind::None, {}};
  };
  link_.RunNext(std::make_unique<SessionAdd>(std::move(merge)),
            [jobs = *this, state, options, done](const OperationResult& added) {
              OperationResult result = added;
              result.Stage = state->Merged ? JobStage::Write : JobStage::Read;
              result.BackupPath = state->BackupPath;
              if (state->Merged) {
                jobs.NoteWrite(state->BackupPath, result.Ok());
                result.Written = state->Merged;
                // The merged library is kept whether or not the upload went through.
                if (const auto error = SaveWorkingFile(options.WorkingFolder,
                                                       linktext::kTempSesLibFile,
                                                       UsedImageBytes(*state->Merged))) {
                  result.Notes.push_back(
                      {LinkText::WorkingFileNotWritten, *error, linktext::kTempSesLibFile});
                }
              }
              if (!result.Ok() || !options.Verify) {
                if (done) done(result);
                return;
              }
              if (options.StageDone) options.StageDone(JobStage::Write, result);
              jobs.VerifyNow(*state->Merged, options, std::move(result), done);
            });
}

}  // namespace ovrel
