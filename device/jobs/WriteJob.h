#pragma once
// The jobs that write a whole memory: an upload of a library file, a
// restore of a backup, a write of an image, and an edit of what the device
// holds. Their stages, all while the port is held:
//   load (the file, when its turn comes) → read → keep → compare → write → verify.
// Every write first reads what the device holds and keeps it in the backup
// history (unless WriteOptions::Backup is false); when it cannot be kept
// nothing is written (unless WriteWithoutBackup says go on). A write given
// the memory it may replace (Expect) writes nothing when the device holds
// something else: it fails as Changed, carrying what the device holds now,
// kept as a plain read.

#include <QString>
#include <functional>
#include <optional>

#include "device/jobs/DeviceJob.h"

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
  std::function<bool(const JobResult& read)> WriteWithoutBackup;
};

class WriteJob : public DeviceJob {
  Q_OBJECT
 public:
  // Makes the image to write from the memory read first; nothing: the job
  // ends there, successfully, writing nothing.
  using Edit = std::function<std::optional<MemoryImage>(const MemoryImage& read)>;

  // Uploads the library file at path (read when the job's turn comes).
  // kind: Upload, or Restore for a backup (then named in the result).
  static std::unique_ptr<WriteJob> OfFile(JobKind kind, const QString& path, WriteOptions options,
                                          BackupReason reason, QString backupFolder);
  static std::unique_ptr<WriteJob> OfImage(const MemoryImage& image, WriteOptions options,
                                           BackupReason reason, QString backupFolder);
  // Reads the memory (kept for BeforeEdit) and writes what edit makes of it.
  static std::unique_ptr<WriteJob> OfEdit(Edit edit, WriteOptions options, QString backupFolder);

 protected:
  void Begin() override;

 private:
  WriteJob(JobKind kind, WriteOptions options, BackupReason reason, QString backupFolder);
  // The stages.
  bool Load();
  void Read();
  void Compare(JobResult read);
  // Keeps what was read; false when the job ends here.
  bool Keep(JobResult& read);
  void Write(JobResult read);

  WriteOptions options_;
  BackupReason reason_;
  QString path_;
  bool fromFile_ = false;  // path_ names the library to write (even when empty)
  std::optional<MemoryImage> image_;
  Edit edit_;
};

}  // namespace ovrel
