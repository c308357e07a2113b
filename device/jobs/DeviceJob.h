#pragma once
// A device job: one entry of the link's queue that runs its stages (read,
// keep what was read, compare it with what the write may replace, write,
// verify) one after the other while it holds the port and its lock, so
// that nothing comes between them. It tells each stage as it starts and
// as it ends well, and its end once the port is given up.

#include <QString>
#include <functional>
#include <optional>

#include "device/jobs/JobResult.h"
#include "device/link/LinkJob.h"
#include "library/LibraryImage.h"
#include "storage/BackupReason.h"

namespace ovrel {

class DeviceLink;

class DeviceJob : public LinkJob {
  Q_OBJECT
 public:
  using Done = std::function<void(const JobResult&)>;

  JobKind Kind() const { return kind_; }
  // Told the job's result once it has ended and the port is free again
  // (after Finished).
  void WhenDone(Done done) { done_ = std::move(done); }

 signals:
  void StageStarted(ovrel::JobStage stage);
  // A stage ended well and the next one follows: after the read before a
  // write, what it read is kept by now (its BackupPath).
  void StageEnded(ovrel::JobStage stage, const ovrel::JobResult& result);
  // The job has ended and given up the port.
  void Finished(const ovrel::JobResult& result);

 protected:
  // backupFolder: where backups are kept; empty: the per-user history.
  DeviceJob(JobKind kind, QString backupFolder);

  void StartStage(JobStage stage) { emit StageStarted(stage); }
  void EndStage(JobStage stage, const JobResult& result);
  // Ends the job with the result of the stage it ended in.
  void Finish(const JobResult& ended);
  // Keeps image in the backup history; empty on success, else why not.
  QString KeepBackup(const MemoryImage& image, BackupReason reason, QString& path) const;
  // Notes in the backup history that a write over the memory kept at
  // backupPath begins (whole unset) or has ended, whole or not: a restore
  // never takes what was read after a write that did not end whole.
  void NoteWrite(const QString& backupPath, std::optional<bool> whole) const;
  // Reads the memory back and compares it with written; wrote is the
  // write's result, whose notes and backup go on.
  void Verify(const MemoryImage& written, JobResult wrote);
  // Details of the result (the backup a restore uploads).
  void SetBackupName(const QString& name) { backupName_ = name; }

 private:
  JobKind kind_;
  QString backupFolder_;
  QString backupName_;
  Done done_;
};

// Autodetection; the port it ends on becomes the link's port.
class ConnectJob : public DeviceJob {
  Q_OBJECT
 public:
  explicit ConnectJob(DeviceLink& link) : DeviceJob(JobKind::Connect, {}), link_(link) {}

 protected:
  void Begin() override;

 private:
  DeviceLink& link_;
};

// Reads the whole memory (I, 16 r, O) into the result's MemImg and keeps
// it in the backup history for reason (none: not kept).
class ReadJob : public DeviceJob {
  Q_OBJECT
 public:
  ReadJob(std::optional<BackupReason> reason, QString backupFolder)
      : DeviceJob(JobKind::Read, std::move(backupFolder)), reason_(reason) {}

 protected:
  void Begin() override;

 private:
  std::optional<BackupReason> reason_;
};

}  // namespace ovrel
