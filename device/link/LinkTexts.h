#pragma once
// The messages of the device link and its operations: each is a value of
// LinkText, and its words are made here and nowhere else. Code tells
// messages apart by their value, never by their words. The jobs' own
// messages are theirs (JobText).

#include <QString>

namespace ovrel {

enum class LinkText {
  None,
  NotConnected,          // status: no port, or the port went away
  ConnectionLost,        // the line failed during an exchange
  PortOpenFailed,        // the port of an upload or an add cannot be opened
  ReadPortOpenFailed,    // the port of a read cannot be opened
  PortBusy,              // Subject: the port, which another program holds
  DamagedReplyStart,     // Subject: the command letter; the reply did not begin A T
  DamagedReplyChecksum,  // Subject: the command letter; the reply's checksum is wrong
  CheckSumError,
  NoSerialPort,
  AutodetectionFailed,
  NoAnswer,
};

// The words of a message; subject fills the messages that name something.
QString LinkTextOf(LinkText text, const QString& subject = {});
// Whether a message is an error (shown with the error icon) or a plain note.
bool IsErrorText(LinkText text);

// Texts that the windows and ovrel show as status or as names.
namespace linktext {
inline const QString kNotConnected = QStringLiteral("Not connected");
inline const QString kConnectionLost = QStringLiteral("Sorvani connection lost. Please reconnect.");
inline const QString kAutodetectionFailed = QStringLiteral("Autodetection of Sorvani failed");
}  // namespace linktext

}  // namespace ovrel
