#pragma once
// The device jobs: everything the main window, the Memory window, the
// remote control and ovrel ask of the device, each written once. Each call
// queues one job (a DeviceJob) on the link: it runs its stages while it
// holds the port and its lock, so that no other client comes between its
// read and its write. Whatever differs between callers is an option of
// the job they start, never a setting of the shared link.
//
// Each call returns the job it queued, for its stage signals: it has not
// started yet (it starts from the event loop), and the link deletes it
// some time after its end.

#include <QString>
#include <functional>
#include <optional>

#include "device/jobs/AddJob.h"
#include "device/jobs/DeviceJob.h"
#include "device/jobs/JobResult.h"
#include "device/jobs/WriteJob.h"
#include "device/link/DeviceLink.h"
#include "library/LibraryImage.h"
#include "storage/BackupReason.h"

namespace ovrel {

// A light handle on the link: it may go before the jobs it started end.
class DeviceJobs {
 public:
  using Done = DeviceJob::Done;

  // backupFolder: where backups are kept; empty: the per-user history.
  explicit DeviceJobs(DeviceLink& link, QString backupFolder = {});

  DeviceLink& Link() { return link_; }

  // Autodetection; the port it ends on becomes the link's port.
  DeviceJob* Connect(Done done);
  // Reads the whole memory (I, 16 r, O) into the result's MemImg and keeps
  // it in the backup history for reason (none: not kept).
  DeviceJob* Read(Done done, std::optional<BackupReason> reason = BackupReason::Read);
  // Uploads the library file at path (a sound library; a file of 2048
  // bytes may carry zeros after it).
  DeviceJob* UploadFile(const QString& path, WriteOptions options, Done done,
                        BackupReason reason = BackupReason::BeforeUpload);
  // Uploads the backup at path: what it replaces is kept as a plain read,
  // so that a second restore does not bring back what the first one
  // replaced (a memory a failed write left behind). Its result names it.
  DeviceJob* Restore(const QString& path, WriteOptions options, Done done);
  // Uploads image, for reason (BeforeEdit for a changed list of sessions).
  DeviceJob* Write(const MemoryImage& image, WriteOptions options, Done done,
                   BackupReason reason = BackupReason::BeforeUpload);
  // Reads the memory (kept for BeforeEdit), lets edit make the image to
  // write from it (nothing: the job ends there, successfully, writing
  // nothing), and writes that. The read and the write are one job.
  DeviceJob* Edit(WriteJob::Edit edit, WriteOptions options, Done done);
  // Adds the session file at path to the library in the device: the read of
  // the add is its backup, kept before anything is written.
  DeviceJob* Add(const QString& path, WriteOptions options, Done done);
  // Runs call when every job queued before it has ended (it may ask a
  // question: what is queued after it waits).
  void AfterQueued(std::function<void()> call);

 private:
  DeviceJob* Queue(std::unique_ptr<DeviceJob> job, Done done);

  DeviceLink& link_;
  QString backupFolder_;
};

}  // namespace ovrel
