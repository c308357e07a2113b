#include "device/jobs/DeviceJob.h"

#include "device/link/DeviceLink.h"
#include "device/operations/Autodetection.h"
#include "device/operations/MemoryDownload.h"
#include "storage/BackupHistory.h"

namespace ovrel {

DeviceJob::DeviceJob(JobKind kind, QString backupFolder)
    : kind_(kind), backupFolder_(std::move(backupFolder)) {}

void DeviceJob::EndStage(JobStage stage, const JobResult& result) {
  JobResult told = JobEnd(kind_, result);
  told.BackupName = backupName_;
  emit StageEnded(stage, told);
}

void DeviceJob::Finish(const JobResult& ended) {
  JobResult result = JobEnd(kind_, ended);
  result.BackupName = backupName_;
  if (kind_ == JobKind::Restore && result.Kind == FailureKind::NotConnected &&
      (result.Message.Link == LinkText::PortOpenFailed ||
       result.Message.Link == LinkText::ReadPortOpenFailed))
    result.Message = {JobText::RestorePortOpenFailed, result.Message.Detail, backupName_};
  const Done done = std::move(done_);
  done_ = nullptr;
  // The port is given up before anyone hears of the end: a question asked
  // then holds nothing.
  End();
  emit Finished(result);
  if (done) done(result);
}

QString DeviceJob::KeepBackup(const MemoryImage& image, BackupReason reason, QString& path) const {
  BackupHistory history = backupFolder_.isEmpty() ? BackupHistory() : BackupHistory(backupFolder_);
  const BackupHistory::Kept kept = history.Keep(image, reason);
  path = kept.Error.isEmpty() ? kept.Path : QString();
  return kept.Error;
}

void DeviceJob::NoteWrite(const QString& backupPath, std::optional<bool> whole) const {
  if (backupPath.isEmpty()) return;
  BackupHistory history = backupFolder_.isEmpty() ? BackupHistory() : BackupHistory(backupFolder_);
  if (whole)
    history.WriteEnded(backupPath, *whole);
  else
    history.WriteBegins(backupPath);
}

void DeviceJob::Verify(const MemoryImage& written, JobResult wrote) {
  StartStage(JobStage::Verify);
  // The read back is no backup: it is not kept.
  Operate(std::make_unique<MemoryDownload>(true),
          [this, written, wrote = std::move(wrote)](const OperationResult& got) {
            JobResult read = OperationEnded(got, JobStage::Verify);
            read.BackupPath = wrote.BackupPath;
            read.Written = written;
            read.Notes.insert(read.Notes.begin(), wrote.Notes.begin(), wrote.Notes.end());
            if (read.Ok() && *read.MemImg != written) {
              read.Failed = JobFailure::Verify;
              read.Message = {JobText::VerifyFailed, {}, {}};
              NoteWrite(read.BackupPath, false);
            }
            Finish(read);
          });
}

void ConnectJob::Begin() {
  Operate(std::make_unique<Autodetection>(), [this](const OperationResult& result) {
    if (!result.Port.isEmpty()) link_.SetPort(result.Port);
    Finish(OperationEnded(result, JobStage::None));
  });
}

void ReadJob::Begin() {
  StartStage(JobStage::Read);
  Operate(std::make_unique<MemoryDownload>(true), [this](const OperationResult& read) {
    JobResult result = OperationEnded(read, JobStage::Read);
    if (result.Ok() && reason_) {
      const QString error = KeepBackup(*result.MemImg, *reason_, result.BackupPath);
      if (!error.isEmpty()) result.Notes.push_back({JobText::BackupFailed, error, {}});
    }
    Finish(result);
  });
}

}  // namespace ovrel
