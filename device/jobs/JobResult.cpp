#include "device/jobs/JobResult.h"

#include <algorithm>

namespace ovrel {

namespace {

bool Writes(JobKind job) {
  return job != JobKind::Connect && job != JobKind::Read;
}

// What the memory holds after a write that ended at its step at.
DeviceMemory AfterWrite(const JobResult& ended) {
  if (ended.Ok()) return DeviceMemory::Replaced;
  if (ended.Kind == FailureKind::Checksum) return DeviceMemory::Unknown;
  if (ended.At.Step == 0) return DeviceMemory::Untouched;  // the port did not open
  switch (ended.At.Command) {
    case 'I':
    case 'r':
      return DeviceMemory::Untouched;
    case 'D':
      return DeviceMemory::PartlyWritten;
    default:
      // C prepares the memory for the blocks; after E and X every block
      // was sent but the device did not confirm them.
      return DeviceMemory::Unknown;
  }
}

QString DoneText(const JobResult& r) {
  switch (r.Job) {
    case JobKind::Connect:
      return QStringLiteral("Sorvani successfully detected");
    case JobKind::Read:
      return QStringLiteral("Sorvani session memory read");
    case JobKind::Upload:
      return QStringLiteral("Sorvani session library uploaded successfully");
    case JobKind::Edit:
      return QStringLiteral("Sorvani session memory written");
    case JobKind::Restore:
      return QStringLiteral("Restored: Sorvani holds the memory kept in %1").arg(r.BackupName);
    case JobKind::Add:
      return QStringLiteral("Single session uploaded to Sorvani successfully");
  }
  return {};
}

QString FailedText(const JobResult& r) {
  switch (r.Job) {
    case JobKind::Connect:
      return linktext::kAutodetectionFailed;
    case JobKind::Read:
      return QStringLiteral("Reading the Sorvani session memory failed");
    case JobKind::Upload:
      // Nothing could be kept and the user chose not to write without it.
      if (r.Failed == JobFailure::NotKept)
        return QStringLiteral("Sorvani session library upload cancelled");
      return QStringLiteral("Sorvani session library upload failed");
    case JobKind::Edit:
      return QStringLiteral("Writing the Sorvani session memory failed");
    case JobKind::Restore:
      return QStringLiteral("Restoring the memory from %1 failed").arg(r.BackupName);
    case JobKind::Add:
      return QStringLiteral("Single session upload to Sorvani failed");
  }
  return {};
}

// Where an exchange that got no reply (or a wrong one) was, in the user's words.
QString WhereItStopped(const LinkProgress& at) {
  switch (at.Command) {
    case 'D':
      return QStringLiteral("while block %1 of 16 was written").arg(at.Block + 1);
    case 'r':
      return QStringLiteral("while block %1 of 16 was read").arg(at.Block + 1);
    case 'I':
      return QStringLiteral("when the transfer was opened");
    case 'C':
      return QStringLiteral("when its memory was prepared for writing");
    case 'W':
      return QStringLiteral("before the first block was written");
    case 'E':
    case 'X':
      return QStringLiteral("after the last block was written, before it confirmed the write");
    case 'O':
      return QStringLiteral("when the transfer was closed");
    case 'S':
      return QStringLiteral("when it was probed");
  }
  return QStringLiteral("in the middle of the transfer");
}

}  // namespace

JobResult OperationEnded(const OperationResult& ended, JobStage stage) {
  JobResult result;
  result.Kind = ended.Kind;
  result.Message = ended.Message;
  result.At = ended.At;
  result.MemImg = ended.MemImg;
  result.Port = ended.Port;
  result.Stage = stage;
  return result;
}

JobResult JobEnd(JobKind job, const JobResult& ended) {
  JobResult result = ended;
  result.Job = job;
  switch (ended.Stage) {
    case JobStage::None:
    case JobStage::Read:
      result.Memory = DeviceMemory::Untouched;
      break;
    case JobStage::Write:
      result.Memory = AfterWrite(ended);
      break;
    case JobStage::Verify:
      // The write was confirmed; only a read back that differs says otherwise.
      result.Memory =
          ended.Failed == JobFailure::Verify ? DeviceMemory::Unknown : DeviceMemory::Replaced;
      break;
  }
  if (!Writes(job)) result.Memory = DeviceMemory::Untouched;
  if (result.Memory == DeviceMemory::PartlyWritten) result.StoppedAtBlock = ended.At.Block + 1;
  return result;
}

QString JobResult::Status() const {
  if (Ok()) {
    return Stage == JobStage::Verify
               ? QStringLiteral("Verified: the session memory holds what was written")
               : DoneText(*this);
  }
  if (Stage == JobStage::Verify) {
    return Failed == JobFailure::Verify
               ? QStringLiteral("Verification failed")
               : QStringLiteral("Reading the Sorvani session memory back failed");
  }
  return FailedText(*this);
}

QString JobResult::Failure() const {
  if (Ok()) return {};
  if (!Message.Empty()) return Message.Line();
  const QString where = WhereItStopped(At);
  if (Kind == FailureKind::WrongReply)
    return QStringLiteral("Sorvani gave a wrong answer %1.").arg(where);
  return QStringLiteral("Sorvani stopped answering %1.").arg(where);
}

bool JobResult::HasNote(JobText id) const {
  return std::any_of(Notes.begin(), Notes.end(),
                     [id](const JobMessage& note) { return note.Id == id; });
}

QString JobResult::Reason() const {
  if (Ok()) return {};
  if (!Message.Empty()) return Message.Line();
  const QString command = At.Command ? QString(QChar(At.Command)) : QStringLiteral("a");
  if (Kind == FailureKind::WrongReply)
    return QStringLiteral("Sorvani answered the %1 command with another command's reply.")
        .arg(command);
  return QStringLiteral("Sorvani did not answer the %1 command in time.").arg(command);
}

QString JobResult::MemoryText() const {
  if (Ok() || !Writes(Job)) return {};
  switch (Memory) {
    case DeviceMemory::Untouched:
      return Stage == JobStage::Write
                 ? QStringLiteral("Nothing was written: Sorvani holds the sessions it held before.")
                 : QString();
    case DeviceMemory::PartlyWritten:
      return QStringLiteral(
                 "The session memory of Sorvani holds a mixed image: the write stopped at block "
                 "%1 of 16, part of the way through replacing the old library, so it may not be "
                 "a sound library now.")
          .arg(StoppedAtBlock);
    case DeviceMemory::Replaced:
      return QStringLiteral(
          "Sorvani confirmed the write, but what its session memory holds now could not be read "
          "back.");
    case DeviceMemory::Unknown:
      break;
  }
  if (Kind == FailureKind::Checksum || Failed == JobFailure::Verify) {
    return QStringLiteral(
        "The session memory of Sorvani holds other bytes than were written: it may not be a "
        "sound library now.");
  }
  if (At.Command == 'C' || At.Command == 'W') {
    return QStringLiteral(
        "The write stopped before its first block: the session memory of Sorvani may no longer "
        "hold its old library.");
  }
  return QStringLiteral(
      "Every block was sent, but Sorvani did not confirm the write: its session memory may not "
      "hold the new library.");
}

QString JobResult::MemoryWord() const {
  switch (Memory) {
    case DeviceMemory::Untouched:
      return QStringLiteral("untouched");
    case DeviceMemory::PartlyWritten:
      return QStringLiteral("partly written");
    case DeviceMemory::Replaced:
      return QStringLiteral("replaced");
    case DeviceMemory::Unknown:
      break;
  }
  return QStringLiteral("unknown");
}

QString StageText(JobKind job, JobStage stage) {
  switch (stage) {
    case JobStage::None:
      break;
    case JobStage::Read:
      return QStringLiteral("Reading the Sorvani session memory");
    case JobStage::Write:
      return job == JobKind::Add ? QStringLiteral("Uploading/adding single session to Sorvani")
                                 : QStringLiteral("Uploading Sorvani session library");
    case JobStage::Verify:
      return QStringLiteral("Reading the Sorvani session memory back");
  }
  return {};
}

}  // namespace ovrel
