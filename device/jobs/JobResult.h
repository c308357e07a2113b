#pragma once
// How a device job ended, with what the device's memory holds afterwards:
// decided once here, from where the job ended, and said in the same words
// by every front end (the windows, the remote control and ovrel), which
// only show it.

#include <QString>
#include <optional>
#include <vector>

#include "device/jobs/JobTexts.h"
#include "device/link/OperationResult.h"

namespace ovrel {

// What the job asked of the device.
enum class JobKind { Connect, Read, Upload, Restore, Edit, Add };

// Why a job stopped on its own, beside the ways its operations fail.
enum class JobFailure {
  None,
  File,                // a file could not be found, read or written
  MemoryLimit,         // the merged library does not fit the session memory
  InvalidDeviceImage,  // the device memory holds no session library
  NotKept,             // the memory a write would replace could not be kept: nothing written
  Changed,             // the device holds another memory than the write may replace
  Verify,              // the memory read back after a write differs from what was written
};

// The stage of a job where it ended: the read before a write (or a read of
// its own), the write, or the read back that verifies it.
enum class JobStage { None, Read, Write, Verify };

// What the device's memory holds after a job.
enum class DeviceMemory {
  Untouched,      // nothing was written: what it held before
  PartlyWritten,  // the write stopped in its blocks: part new, part old
  Replaced,       // what was written (the device's checksum said so)
  Unknown,        // the memory was prepared for writing, or written, without confirmation
};

// A job's result holds what its last operation ended with (the failure,
// the step, the memory read or written, the port) and adds the job's own.
struct JobResult {
  JobKind Job = JobKind::Read;
  // How the last operation failed; None when it did not.
  FailureKind Kind = FailureKind::None;
  // Why the job stopped on its own; None when it did not.
  JobFailure Failed = JobFailure::None;
  // What the user is told about the failure. None for a reply that did not
  // come or came wrong: the status text says the job failed.
  JobMessage Message;
  // The step where the last operation failed (Step 0: before the device
  // was touched).
  LinkProgress At;
  // What went wrong without ending the job (a working file that could not
  // be written), in the order it happened; shown before Message.
  std::vector<JobMessage> Notes;
  // The session memory image the job read from the device (after a Changed
  // failure, what the device holds now) or wrote into it (an upload, an
  // add: the merged library), when it got that far.
  std::optional<MemoryImage> MemImg;
  // The port autodetection ended on (see OperationResult).
  QString Port;
  // The backup file that holds the memory the job read (or replaced);
  // empty when none was kept.
  QString BackupPath;
  // Where the job ended (on success, its last stage).
  JobStage Stage = JobStage::None;
  // What the job wrote, when it got that far (after a failed verification,
  // MemImg is what was read back).
  std::optional<MemoryImage> Written;
  DeviceMemory Memory = DeviceMemory::Untouched;
  // PartlyWritten: the block (1 to 16) being written when the write stopped.
  int StoppedAtBlock = 0;
  // Restore: the name of the backup it uploads.
  QString BackupName;

  // The status line of the job's end ("Sorvani session library upload
  // failed").
  QString Status() const;
  // Why it failed, on one line, in the user's words; empty on success.
  QString Failure() const;
  // What the device's memory holds after a write that failed; empty when
  // the job ended well.
  QString MemoryText() const;
  // One word for what the memory holds, for machine-readable results:
  // "untouched", "partly written", "replaced" or "unknown".
  QString MemoryWord() const;
  bool Ok() const { return Kind == FailureKind::None && Failed == JobFailure::None; }
  bool HasNote(JobText id) const;
  // Why it failed, on one line; empty on success.
  QString Reason() const;
  bool Rewritten() const { return Memory != DeviceMemory::Untouched; }
};

// The status line while a stage of a job runs ("Reading the Sorvani session
// memory").
QString StageText(JobKind job, JobStage stage);

// What an operation of a job ended with, at the given stage.
JobResult OperationEnded(const OperationResult& ended, JobStage stage);

// Makes the result of a job of the given kind that ended with ended:
// decides what the device's memory holds.
JobResult JobEnd(JobKind job, const JobResult& ended);

}  // namespace ovrel
