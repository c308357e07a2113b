#pragma once
// The device jobs: everything the main window, the Memory window, the
// remote control and ovrel ask of the device, each written once. A job is
// one or more operations queued on the link, with what happens between
// them: reading files, keeping backups, merging, comparing. Whatever
// differs between callers is an option of the job they start, never a
// setting of the shared link.
//
// Every job that writes first reads what the device holds and keeps it in
// the backup history (unless WriteOptions::Backup is false); when it cannot
// be kept nothing is written (unless WriteWithoutBackup says go on). A
// write given the memory it may replace (Expect) writes nothing when the
// device holds something else: it fails as Changed, carrying what the
// device holds now (kept as a plain read). The second operation of a job
// runs before anything queued meanwhile, so that what was read is what is
// replaced.

#include <QString>
#include <functional>
#include <optional>

#include "device/link/DeviceLink.h"
#include "device/link/OperationResult.h"
#include "library/LibraryImage.h"
#include "storage/BackupReason.h"

namespace ovrel {

struct WriteOptions {
  // Read what the device holds and keep it in the backup history first.
  bool Backup = true;
  // Read the memory back after writing and compare it with what was written.
  bool Verify = false;
  // The memory the write may replace: nothing is written when the device
  // holds another one (compared by their used bytes).
  std::optional<MemoryImage> Expect;
  // Where the add keeps its working files ("SVPMemImg.svl",
  // "TempSesLib.svl"); empty: the current directory.
  QString WorkingFolder;
  // What the user is told when the port of the read before the write
  // cannot be opened.
  LinkText ReadPortFailure = LinkText::PortOpenFailed;
  // Asked when the memory read before an upload could not be kept, with
  // that read's result (its message says why); true writes all the same.
  // Empty: nothing is written. An add never asks: its transfer is open.
  std::function<bool(const OperationResult& read)> WriteWithoutBackup;
  // Told when a stage of the job starts, and when one ended well before
  // the next starts (the windows and ovrel say what happens as it happens).
  std::function<void(JobStage stage)> StageStarts;
  std::function<void(JobStage stage, const OperationResult& result)> StageDone;
};

// A light handle on the link: a job in flight holds its own copy, so the
// handle may go before the jobs it started end.
class DeviceJobs {
 public:
  using Done = DeviceLink::Done;

  // backupFolder: where backups are kept; empty: the per-user history.
  explicit DeviceJobs(DeviceLink& link, QString backupFolder = {});

  DeviceLink& Link() { return link_; }

  // Autodetection; the port it ends on becomes the link's port.
  void Connect(Done done);
  // Reads the whole memory (I, 16 r, O) into the result's MemImg and keeps
  // it in the backup history for reason (none: not kept).
  void Read(Done done, std::optional<BackupReason> reason = BackupReason::Read);
  // Uploads the library file at path (a sound library; a file of 2048
  // bytes may carry zeros after it).
  // reason: why what it replaces is kept (a restore keeps it as a plain
  // read, so that a second restore does not bring back what the first one
  // replaced: a memory a failed write left behind).
  void UploadFile(const QString& path, WriteOptions options, Done done,
                  BackupReason reason = BackupReason::BeforeUpload);
  // Uploads image, for reason (BeforeEdit for a changed list of sessions).
  void Write(const MemoryImage& image, WriteOptions options, Done done,
             BackupReason reason = BackupReason::BeforeUpload);
  // Reads the memory (kept for BeforeEdit), lets edit make the image to
  // write from it (nothing: the job ends there, successfully, writing
  // nothing), and writes that. The read and the write are one job.
  void Edit(std::function<std::optional<MemoryImage>(const MemoryImage& read)> edit,
            WriteOptions options, Done done);
  // Adds the session file at path to the library in the device: the read of
  // the add is its backup, kept before anything is written.
  void Add(const QString& path, WriteOptions options, Done done);

 private:
  // Keeps image in the backup history; empty on success, else why not.
  QString KeepBackup(const MemoryImage& image, BackupReason reason, QString& path) const;
  // Notes in the backup history that a write over the memory kept at
  // backupPath begins (whole unset) or has ended, whole or not.
  void NoteWrite(const QString& backupPath, std::optional<bool> whole) const;
  // The read that comes before a write: keeps what it read (when asked),
  // compares it with the expected memory, then calls write with the result.
  // front: before anything queued (the job already has its turn).
  void ReadBeforeWrite(const WriteOptions& options, BackupReason reason,
                       std::function<void(OperationResult read)> write, Done done,
                       bool front) const;
  void Start(const MemoryImage& image, const WriteOptions& options, Done done,
             BackupReason reason, bool front) const;
  void AddNow(const QString& path, const WriteOptions& options, Done done) const;
  void Queue(bool front, std::unique_ptr<DeviceOperation> operation, Done done) const;
  // Writes image now (before anything queued), then verifies when asked.
  void WriteNow(const MemoryImage& image, const WriteOptions& options, OperationResult read,
                Done done, bool front) const;
  void VerifyNow(const MemoryImage& written, const WriteOptions& options, OperationResult wrote,
                 Done done) const;

  DeviceLink& link_;
  QString backupFolder_;
};

}  // namespace ovrel
