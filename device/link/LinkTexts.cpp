#include "device/link/LinkTexts.h"

namespace ovrel {

QString LinkTextOf(LinkText text, const QString& subject) {
  switch (text) {
    case LinkText::None:
      return {};
    case LinkText::NotConnected:
      return linktext::kNotConnected;
    case LinkText::ConnectionLost:
      return linktext::kConnectionLost;
    case LinkText::PortOpenFailed:
      return QStringLiteral(
          "Sorvani is disconnected or not turned on. Session Library Upload failed.");
    case LinkText::ReadPortOpenFailed:
      return QStringLiteral(
          "Sorvani is disconnected or not turned on. Reading the session memory failed.");
    case LinkText::PortBusy:
      return QStringLiteral(
                 "The port %1 is in use by another program: nothing was read or written.")
          .arg(subject);
    case LinkText::DamagedReplyStart:
      return QStringLiteral(
                 "The reply of Sorvani to the %1 command arrived damaged: it does not begin "
                 "with A T.")
          .arg(subject);
    case LinkText::DamagedReplyChecksum:
      return QStringLiteral(
                 "The reply of Sorvani to the %1 command arrived damaged: its checksum does not "
                 "match its bytes.")
          .arg(subject);
    case LinkText::CheckSumError:
      return QStringLiteral("CheckSum Error");
    case LinkText::NoSerialPort:
      return QStringLiteral(
          "No serial port was found: connect the device's USB cable and turn the device on.");
    case LinkText::AutodetectionFailed:
      return linktext::kAutodetectionFailed;
    case LinkText::NoAnswer:
      return QStringLiteral("no answer from Sorvani");
  }
  return {};
}

bool IsErrorText(LinkText text) {
  return text != LinkText::None && text != LinkText::CheckSumError;
}

}  // namespace ovrel
