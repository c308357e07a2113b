#include "device/jobs/AddJob.h"

#include <QFile>
#include <QFileInfo>

#include "device/jobs/JobFiles.h"
#include "fileio/FileBytes.h"

namespace ovrel {

namespace {

JobResult FileFailure(JobMessage message) {
  JobResult result;
  result.Failed = JobFailure::File;
  result.Message = std::move(message);
  return result;
}

}  // namespace

void AddJob::Begin() {
  if (!Load()) return;
  StartStage(JobStage::Read);
  Operate(std::make_unique<SessionAdd>([this](const MemoryImage& memory) { return Merge(memory); }),
          [this](const OperationResult& added) { Added(added); });
}

bool AddJob::Load() {
  const QFileInfo info(path_);
  if (!info.exists()) {
    Finish(FileFailure({JobText::SesFileNotFound, path_, {}}));
    return false;
  }
  if (!info.isFile()) {
    Finish(FileFailure({JobText::SesFileNotRegular, path_, {}}));
    return false;
  }
  const std::string fileName = QFile::encodeName(path_).toStdString();
  const FileBytes file = ReadFileBytes(fileName, kMaxTextFileBytes);
  if (!file) {
    Finish(FileFailure({JobText::SesFileUnreadable, QString::fromStdString(file.Error()), {}}));
    return false;
  }
  SessionRecordRead read = ReadSessionRecord(*file, fileName);
  if (!read) {
    Finish(FileFailure({JobText::SesFileNotSound, path_, QString::fromStdString(read.Error())}));
    return false;
  }
  session_ = *read;
  return true;
}

std::optional<MemoryImage> AddJob::Decline(JobFailure failed, JobMessage message) {
  declined_.Failed = failed;
  declined_.Message = std::move(message);
  return std::nullopt;
}

std::optional<MemoryImage> AddJob::Merge(const MemoryImage& memory) {
  if (options_.Backup) {
    const QString error = KeepBackup(memory, BackupReason::BeforeAdd, backupPath_);
    if (!error.isEmpty()) return Decline(JobFailure::NotKept, {JobText::BackupFailed, error, {}});
  }
  MemoryImage image = memory;
  if (const auto error = SaveWorkingFile(options_.WorkingFolder, kMemImgFile, image))
    return Decline(JobFailure::File, {JobText::WorkingFileNotWritten, *error, kMemImgFile});
  if (const auto invalid = CheckLibraryImage(image)) {
    return Decline(
        JobFailure::InvalidDeviceImage,
        {JobText::InvalidDeviceLibrary,
         QStringLiteral("The session memory read from Sorvani is not a session library: ") +
             QString::fromStdString(*invalid) + QStringLiteral("."),
         {}});
  }
  if (!AppendSession(image, *session_).Fits)
    return Decline(JobFailure::MemoryLimit, {JobText::MemoryLimit, {}, {}});
  merged_ = image;
  NoteWrite(backupPath_, std::nullopt);
  JobResult read;
  read.Stage = JobStage::Read;
  read.MemImg = memory;
  read.BackupPath = backupPath_;
  EndStage(JobStage::Read, read);
  StartStage(JobStage::Write);
  return image;
}

void AddJob::Added(const OperationResult& added) {
  JobResult result = OperationEnded(added, merged_ ? JobStage::Write : JobStage::Read);
  if (added.Kind == FailureKind::Declined) {
    // The transfer was closed without a write: the job says why.
    result.Kind = FailureKind::None;
    result.Failed = declined_.Failed;
    result.Message = declined_.Message;
  }
  result.BackupPath = backupPath_;
  if (merged_) {
    NoteWrite(backupPath_, result.Ok());
    result.Written = merged_;
    // The merged library is kept whether or not the upload went through.
    if (const auto error =
            SaveWorkingFile(options_.WorkingFolder, kTempSesLibFile, UsedImageBytes(*merged_)))
      result.Notes.push_back({JobText::WorkingFileNotWritten, *error, kTempSesLibFile});
  }
  if (!result.Ok() || !options_.Verify) {
    Finish(result);
    return;
  }
  EndStage(JobStage::Write, result);
  Verify(*merged_, std::move(result));
}

}  // namespace ovrel
