#pragma once
// How a device operation ended: success, or the kind of failure with the
// message its user is shown and the step where it happened. The link shows
// nothing itself; the main window, ovrel and the remote control each show a
// result their own way.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/link/LinkUi.h"
#include "device/protocol/Frame.h"

namespace ovrel {

enum class FailureKind {
  None,
  NotConnected,        // the port could not be opened
  PortFailure,         // a write or read on the open port failed
  NoReply,             // a reply did not come in time
  WrongReply,          // the device answered another command
  Checksum,            // the device's checksum differs from the library's
  File,                // a file could not be found, read or written
  MemoryLimit,         // the merged library does not fit the session memory
  InvalidDeviceImage,  // the device memory holds no session library
  DeviceNotFound,      // autodetection found no device on any port
};

enum class LinkIcon { None, Error };

struct LinkMessage {
  QString Text;
  LinkIcon Icon = LinkIcon::Error;
  // Extra text shown below the message (for instance why a port failed).
  QString Detail;

  // The message on one line: its text, then its detail.
  QString Line() const { return Detail.isEmpty() ? Text : Text + QLatin1Char(' ') + Detail; }
};

struct OperationResult {
  FailureKind Kind = FailureKind::None;
  // What the user is told about the failure. Empty for a reply that did not
  // come or came wrong: the status text says the operation failed.
  LinkMessage Message;
  // The step where the operation failed (Step 0: before the device was touched).
  LinkProgress At;
  // What went wrong without ending the operation (a memory image that could
  // not be kept as a backup, a working file that could not be written), in
  // the order it happened; shown before Message.
  std::vector<LinkMessage> Notes;
  // The session memory image the operation read from the device (a memory
  // read) or wrote into it (an upload, an add: the merged library), when it
  // got that far.
  using Image = std::array<std::uint8_t, SesMemSize>;
  std::optional<Image> MemImg;
  // The port autodetection ended on: the one where the device answered, or
  // the last one probed. Empty for the other operations, and when no port
  // was listed.
  QString Port;

  bool Ok() const { return Kind == FailureKind::None; }
  // Why it failed, on one line; empty on success.
  QString Reason() const;
};

}  // namespace ovrel
