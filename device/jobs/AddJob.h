#pragma once
// The job that adds a session file to the library in the device. Its
// stages, all while the port is held: load the session file (when its
// turn comes, before the device is touched) → read (the transfer stays
// open) → keep what was read (the add's backup) → merge → pause → write →
// verify. "SVPMemImg.svl" and "TempSesLib.svl" are written in the working
// folder as the add goes.

#include <QString>
#include <memory>
#include <optional>

#include "device/jobs/DeviceJob.h"
#include "device/jobs/JobFiles.h"
#include "device/jobs/WriteJob.h"
#include "device/operations/SessionAdd.h"
#include "library/SessionScan.h"

namespace ovrel {

class AddJob : public DeviceJob {
  Q_OBJECT
 public:
  AddJob(const QString& path, WriteOptions options, QString backupFolder)
      : DeviceJob(JobKind::Add, std::move(backupFolder)),
        path_(path),
        options_(std::move(options)) {}

 protected:
  void Begin() override;

 private:
  // Reads the session file; false when the job ends here.
  bool Load();
  // What the add writes in place of the memory it read.
  std::optional<MemoryImage> Merge(const MemoryImage& memory);
  void Added(const OperationResult& added);
  // Ends the merge: nothing is written, for the given reason.
  std::optional<MemoryImage> Decline(JobFailure failed, JobMessage message);

  QString path_;
  WriteOptions options_;
  std::optional<SessionRecord> session_;
  QString backupPath_;
  std::optional<MemoryImage> merged_;
  // Why the merge wrote nothing over what was read.
  JobResult declined_;
};

}  // namespace ovrel
