#pragma once
// How a device operation ended: success, or the kind of failure with the
// message its user is shown and the step where it happened. The link shows
// nothing itself; the jobs make their results from it.

#include <QString>
#include <optional>

#include "device/link/LinkTexts.h"
#include "device/link/LinkUi.h"
#include "library/LibraryImage.h"

namespace ovrel {

enum class FailureKind {
  None,
  NotConnected,    // the port could not be opened
  PortFailure,     // a write or read on the open port failed
  NoReply,         // a reply did not come in time
  WrongReply,      // the device answered another command
  DamagedReply,    // a reply frame arrived damaged (start bytes or checksum)
  PortBusy,        // another program holds the port: nothing was sent
  Checksum,        // the device's checksum differs from the library's
  DeviceNotFound,  // autodetection found no device on any port
  Declined,        // the operation's user chose to write nothing over what was read
};

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
  // The session memory image the operation read from the device (a memory
  // read) or wrote into it (an upload, an add: the merged library), when it
  // got that far.
  std::optional<MemoryImage> MemImg;
  // The port autodetection ended on: the one where the device answered, or
  // the last one probed. Empty for the other operations, and when no port
  // was listed.
  QString Port;

  bool Ok() const { return Kind == FailureKind::None; }
};

}  // namespace ovrel
