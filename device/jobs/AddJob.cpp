#include "device/jobs/AddJob.h"

#include <QFile>
#include <QFileInfo>

#include "device/jobs/JobFiles.h"
#include "fileio/FileBytes.h"

namespace ovrel {

namespace {

OperationResult FileFailure(LinkMessage message) {
  OperationResult result;
  result.Kind = FailureKind::File;
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
    Finish(FileFailure({LinkText::SesFileNotFound, path_, {}}));
    return false;
  }
  if (!info.isFile()) {
    Finish(FileFailure({LinkText::SesFileNotRegular, path_, {}}));
    return false;
  }
  const std::string fileName = QFile::encodeName(path_).toStdString();
  const FileBytes file = ReadFileBytes(fileName, kMaxTextFileBytes);
  if (!file) {
    Finish(FileFailure({LinkText::SesFileUnreadable, QString::fromStdString(file.Error()), {}}));
    return false;
  }
  SessionRecordRead read = ReadSessionRecord(*file, fileName);
  if (!read) {
    Finish(FileFailure({LinkText::SesFileNotSound, path_, QString::fromStdString(read.Error())}));
    return false;
  }
  session_ = *read;
  return true;
}

AddPlan AddJob::Merge(const MemoryImage& memory) {
  if (options_.Backup) {
    const QString error = KeepBackup(memory, BackupReason::BeforeAdd, backupPath_);
    if (!error.isEmpty())
      return {std::nullopt, FailureKind::NotKept, {LinkText::BackupFailed, error, {}}};
  }
  MemoryImage image = memory;
  if (const auto error = SaveWorkingFile(options_.WorkingFolder, kMemImgFile, image))
    return {
        std::nullopt, FailureKind::File, {LinkText::WorkingFileNotWritten, *error, kMemImgFile}};
  if (const auto invalid = CheckLibraryImage(image)) {
    return {std::nullopt,
            FailureKind::InvalidDeviceImage,
            {LinkText::InvalidDeviceLibrary,
             QStringLiteral("The session memory read from Sorvani is not a session library: ") +
                 QString::fromStdString(*invalid) + QStringLiteral("."),
             {}}};
  }
  if (!AppendSession(image, *session_).Fits)
    return {std::nullopt, FailureKind::MemoryLimit, {LinkText::MemoryLimit, {}, {}}};
  merged_ = image;
  NoteWrite(backupPath_, std::nullopt);
  OperationResult read;
  read.Stage = JobStage::Read;
  read.MemImg = memory;
  read.BackupPath = backupPath_;
  EndStage(JobStage::Read, read);
  StartStage(JobStage::Write);
  return {image, FailureKind::None, {}};
}

void AddJob::Added(const OperationResult& added) {
  OperationResult result = added;
  result.Stage = merged_ ? JobStage::Write : JobStage::Read;
  result.BackupPath = backupPath_;
  if (merged_) {
    NoteWrite(backupPath_, result.Ok());
    result.Written = merged_;
    // The merged library is kept whether or not the upload went through.
    if (const auto error =
            SaveWorkingFile(options_.WorkingFolder, kTempSesLibFile, UsedImageBytes(*merged_)))
      result.Notes.push_back({LinkText::WorkingFileNotWritten, *error, kTempSesLibFile});
  }
  if (!result.Ok() || !options_.Verify) {
    Finish(result);
    return;
  }
  EndStage(JobStage::Write, result);
  Verify(*merged_, std::move(result));
}

}  // namespace ovrel
