#include "device/jobs/WriteJob.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "device/operations/LibraryUpload.h"
#include "device/operations/MemoryDownload.h"
#include "library/LibraryFileRead.h"

namespace ovrel {

namespace {

// True when two memories hold the same library (or, holding none, the same bytes).
bool SameMemory(const MemoryImage& a, const MemoryImage& b) {
  return std::ranges::equal(UsedImageBytes(a), UsedImageBytes(b));
}

JobMessage LibraryFileFailure(const QString& path, const Failure& why) {
  const QString error = QString::fromStdString(why.Text);
  switch (why.Kind) {
    case Fault::NotFound:
      // The text stays as it always was; the path follows on its own line.
      return {JobText::LibFileNotFound, path, {}};
    case Fault::NotRegular:
      return {JobText::LibFileNotRegular, path, {}};
    case Fault::TooLarge:
      return {JobText::LibFileTooBig, path, {}};
    case Fault::NotLibrary:
      return {JobText::LibFileNotSound, QStringLiteral("%1: %2").arg(path, error), {}};
    default:
      return {JobText::LibFileUnreadable, error, {}};
  }
}

}  // namespace

WriteJob::WriteJob(JobKind kind, WriteOptions options, BackupReason reason, QString backupFolder)
    : DeviceJob(kind, std::move(backupFolder)), options_(std::move(options)), reason_(reason) {}

std::unique_ptr<WriteJob> WriteJob::OfFile(JobKind kind, const QString& path, WriteOptions options,
                                           BackupReason reason, QString backupFolder) {
  std::unique_ptr<WriteJob> job(
      new WriteJob(kind, std::move(options), reason, std::move(backupFolder)));
  job->path_ = path;
  job->fromFile_ = true;
  if (kind == JobKind::Restore) job->SetBackupName(QFileInfo(path).fileName());
  return job;
}

std::unique_ptr<WriteJob> WriteJob::OfImage(const MemoryImage& image, WriteOptions options,
                                            BackupReason reason, QString backupFolder) {
  // An edited memory (the Memory window's list) is told as a write of the
  // memory, anything else as an upload.
  const JobKind kind = reason == BackupReason::BeforeEdit ? JobKind::Edit : JobKind::Upload;
  std::unique_ptr<WriteJob> job(
      new WriteJob(kind, std::move(options), reason, std::move(backupFolder)));
  job->image_ = image;
  return job;
}

std::unique_ptr<WriteJob> WriteJob::OfEdit(Edit edit, WriteOptions options, QString backupFolder) {
  std::unique_ptr<WriteJob> job(new WriteJob(JobKind::Edit, std::move(options),
                                             BackupReason::BeforeEdit, std::move(backupFolder)));
  job->edit_ = std::move(edit);
  return job;
}

void WriteJob::Begin() {
  if (!Load()) return;
  if (!options_.Backup && !options_.Expect && !edit_) {
    Write({});
    return;
  }
  Read();
}

bool WriteJob::Load() {
  if (!fromFile_) return true;
  // The file is read when the job's turn comes, as the device is. Nothing
  // that is not a sound library is sent, and the device is not even read
  // for it.
  const LibraryFileRead file = ReadLibraryFile(QFile::encodeName(path_).toStdString());
  if (const Failure* why = WhyNotSound(file)) {
    JobResult failed;
    failed.Failed = JobFailure::File;
    failed.Message = LibraryFileFailure(path_, *why);
    Finish(failed);
    return false;
  }
  image_ = file->Image();
  return true;
}

void WriteJob::Read() {
  StartStage(JobStage::Read);
  Operate(std::make_unique<MemoryDownload>(true, options_.ReadPortFailure),
          [this](const OperationResult& got) {
            JobResult read = OperationEnded(got, JobStage::Read);
            if (!read.Ok()) {
              Finish(read);
              return;
            }
            Compare(std::move(read));
          });
}

void WriteJob::Compare(JobResult read) {
  if (options_.Expect && !SameMemory(*options_.Expect, *read.MemImg)) {
    // Nothing is written: what was read is kept as a plain read, never
    // taken for the memory before a write.
    if (options_.Backup) KeepBackup(*read.MemImg, BackupReason::Read, read.BackupPath);
    read.Failed = JobFailure::Changed;
    read.Message = {JobText::ChangedSinceRead, {}, {}};
    Finish(read);
    return;
  }
  if (!Keep(read)) return;
  EndStage(JobStage::Read, read);
  if (edit_) {
    image_ = edit_(*read.MemImg);
    if (!image_) {
      Finish(read);
      return;
    }
  }
  Write(std::move(read));
}

bool WriteJob::Keep(JobResult& read) {
  if (!options_.Backup) return true;
  const QString error = KeepBackup(*read.MemImg, reason_, read.BackupPath);
  if (error.isEmpty()) return true;
  JobResult notKept = read;
  notKept.Failed = JobFailure::NotKept;
  notKept.Message = {JobText::BackupFailed, error, {}};
  if (options_.WriteWithoutBackup && options_.WriteWithoutBackup(notKept)) return true;
  Finish(notKept);
  return false;
}

void WriteJob::Write(JobResult read) {
  StartStage(JobStage::Write);
  const MemoryImage image = *image_;
  // Until the write has gone through, the memory kept before it is what a
  // restore brings back, whatever is read meanwhile.
  NoteWrite(read.BackupPath, std::nullopt);
  Operate(std::make_unique<LibraryUpload>(image),
          [this, image, read = std::move(read)](const OperationResult& got) {
            JobResult wrote = OperationEnded(got, JobStage::Write);
            NoteWrite(read.BackupPath, wrote.Ok());
            wrote.BackupPath = read.BackupPath;
            wrote.Notes.insert(wrote.Notes.begin(), read.Notes.begin(), read.Notes.end());
            wrote.Written = image;
            if (!wrote.Ok() || !options_.Verify) {
              Finish(wrote);
              return;
            }
            EndStage(JobStage::Write, wrote);
            Verify(image, std::move(wrote));
          });
}

}  // namespace ovrel
