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
    case LinkText::RestorePortOpenFailed:
      return QStringLiteral(
                 "Sorvani is disconnected or not turned on. Restoring the memory from %1 failed.")
          .arg(subject);
    case LinkText::LibFileNotFound:
      return QStringLiteral("The session library file not found.");
    case LinkText::LibFileNotRegular:
      return QStringLiteral("The session library file is not a regular file.");
    case LinkText::LibFileUnreadable:
      return QStringLiteral("The session library file cannot be read.");
    case LinkText::LibFileTooBig:
      return QStringLiteral(
          "The session library file is too big for the session memory of Sorvani (2048 bytes).");
    case LinkText::LibFileNotSound:
      return QStringLiteral(
          "The session library file is not a valid session library. Nothing was uploaded.");
    case LinkText::SesFileNotFound:
      return QStringLiteral("The session file not found.");
    case LinkText::SesFileNotRegular:
      return QStringLiteral("The session file is not a regular file.");
    case LinkText::SesFileUnreadable:
      return QStringLiteral("The session file cannot be read.");
    case LinkText::SesFileNotSound:
      return subject + QStringLiteral(". The session was not added.");
    case LinkText::CheckSumError:
      return QStringLiteral("CheckSum Error");
    case LinkText::MemoryLimit:
      return QStringLiteral(
          "Session memory limit exceeded. The session is too big to be added to the existing "
          "session library in Sorvani.");
    case LinkText::InvalidDeviceLibrary:
      return QStringLiteral(
          "The session library in Sorvani is not valid. The session cannot be added to it.");
    case LinkText::NoSerialPort:
      return QStringLiteral(
          "No serial port was found: connect the device's USB cable and turn the device on.");
    case LinkText::AutodetectionFailed:
      return linktext::kAutodetectionFailed;
    case LinkText::NoAnswer:
      return QStringLiteral("no answer from Sorvani");
    case LinkText::BackupFailed:
      return QStringLiteral("The session memory read from Sorvani cannot be kept as a backup.");
    case LinkText::WorkingFileNotWritten:
      return QStringLiteral("The file \"%1\" cannot be written.").arg(subject);
    case LinkText::ChangedSinceRead:
      return QStringLiteral("The session memory of Sorvani has %1: nothing was written.")
          .arg(linktext::kChangedSinceRead);
    case LinkText::VerifyFailed:
      return QStringLiteral("Sorvani holds other bytes than were written.");
  }
  return {};
}

bool IsErrorText(LinkText text) {
  return text != LinkText::None && text != LinkText::CheckSumError;
}

}  // namespace ovrel
