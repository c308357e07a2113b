#pragma once
// How a device operation or job ended: success, or the kind of failure with
// the message its user is shown and the step where it happened. The link
// shows nothing itself; the main window, ovrel and the remote control each
// show a result their own way.

#include <QString>
#include <optional>
#include <vector>

#include "device/link/LinkTexts.h"
#include "device/link/LinkUi.h"
#include "library/LibraryImage.h"

namespace ovrel {

enum class FailureKind {
  None,
  NotConnected,        // the port could not be opened
  PortFailure,         // a write or read on the open port failed
  NoReply,             // a reply did not come in time
  WrongReply,          // the device answered another command
  DamagedReply,        // a reply frame arrived damaged (start bytes or checksum)
  PortBusy,            // another program holds the port: nothing was sent
  Checksum,            // the device's checksum differs from the library's
  File,                // a file could not be found, read or written
  MemoryLimit,         // the merged library does not fit the session memory
  InvalidDeviceImage,  // the device memory holds no session library
  DeviceNotFound,      // autodetection found no device on any port
  NotKept,             // the memory a write would replace could not be kept: nothing written
  Changed,             // the device holds another memory than the write may replace
  Verify,              // the memory read back after a write differs from what was written
};

// The stage of a job where it ended: the read before a write (or a read of
// its own), the write, or the read back that verifies it.
enum class JobStage { None, Read, Write, Verify };

// One message: which one (its words come from LinkTextOf), what it names,
// and extra text shown below it (the system's reason, a path).
struct LinkMessage {
  LinkText Id = LinkText::None;
  QString Detail;
  QString Subject;

  QString Text() const { return LinkTextOf(Id, Subject); }
  bool IsError() const { return IsErrorText(Id); }
  bool Empty() const { return Id == LinkText::None; }
  // The message on one line: its text, then its detail.
  QString Line() const { return Detail.isEmpty() ? Text() : Text() + QLatin1Char(' ') + Detail; }
};

struct OperationResult {
  FailureKind Kind = FailureKind::None;
  // What the user is told about the failure. None for a reply that did not
  // come or came wrong: the status text says the operation failed.
  LinkMessage Message;
  // The step where the operation failed (Step 0: before the device was touched).
  LinkProgress At;
  // What went wrong without ending the operation (a working file that could
  // not be written), in the order it happened; shown before Message.
  std::vector<LinkMessage> Notes;
  // The session memory image the operation read from the device (a memory
  // read; after a Changed failure, what the device holds now) or wrote into
  // it (an upload, an add: the merged library), when it got that far.
  std::optional<MemoryImage> MemImg;
  // The port autodetection ended on: the one where the device answered, or
  // the last one probed. Empty for the other operations, and when no port
  // was listed.
  QString Port;
  // The backup file that holds the memory a job read (or replaced); empty
  // when none was kept.
  QString BackupPath;
  // Where a job ended (on success, its last stage).
  JobStage Stage = JobStage::None;
  // What a job wrote, when it got that far (after a failed verification,
  // MemImg is what was read back).
  std::optional<MemoryImage> Written;

  bool Ok() const { return Kind == FailureKind::None; }
  bool HasNote(LinkText id) const;
  // Why it failed, on one line; empty on success.
  QString Reason() const;
};

}  // namespace ovrel
