#pragma once
// How a device job ended, with what the device's memory holds afterwards:
// decided once here, from where the job ended, and said in the same words
// by every front end (the windows, the remote control and ovrel), which
// only show it.

#include <QString>

#include "device/link/OperationResult.h"

namespace ovrel {

// What the job asked of the device.
enum class JobKind { Connect, Read, Upload, Restore, Edit, Add };

// What the device's memory holds after a job.
enum class DeviceMemory {
  Untouched,      // nothing was written: what it held before
  PartlyWritten,  // the write stopped in its blocks: part new, part old
  Replaced,       // what was written (the device's checksum said so)
  Unknown,        // the memory was prepared for writing, or written, without confirmation
};

struct JobResult : OperationResult {
  JobKind Job = JobKind::Read;
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
  bool Rewritten() const { return Memory != DeviceMemory::Untouched; }
};

// The status line while a stage of a job runs ("Reading the Sorvani session
// memory").
QString StageText(JobKind job, JobStage stage);

// Makes the result of a job of the given kind that ended with ended:
// decides what the device's memory holds.
JobResult JobEnd(JobKind job, const OperationResult& ended);

}  // namespace ovrel
