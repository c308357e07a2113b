#include "device/jobs/JobTexts.h"

namespace ovrel {

namespace {

QString FileText(JobText text) {
  switch (text) {
    case JobText::LibFileNotFound:
      return QStringLiteral("The session library file not found.");
    case JobText::LibFileNotRegular:
      return QStringLiteral("The session library file is not a regular file.");
    case JobText::LibFileUnreadable:
      return QStringLiteral("The session library file cannot be read.");
    case JobText::LibFileTooBig:
      return QStringLiteral(
          "The session library file is too big for the session memory of Sorvani (2048 bytes).");
    case JobText::LibFileNotSound:
      return QStringLiteral(
          "The session library file is not a valid session library. Nothing was uploaded.");
    case JobText::SesFileNotFound:
      return QStringLiteral("The session file not found.");
    case JobText::SesFileNotRegular:
      return QStringLiteral("The session file is not a regular file.");
    case JobText::SesFileUnreadable:
      return QStringLiteral("The session file cannot be read.");
    default:
      return {};
  }
}

}  // namespace

QString JobTextOf(JobText text, const QString& subject) {
  switch (text) {
    case JobText::None:
      return {};
    case JobText::RestorePortOpenFailed:
      return QStringLiteral(
                 "Sorvani is disconnected or not turned on. Restoring the memory from %1 failed.")
          .arg(subject);
    case JobText::SesFileNotSound:
      return subject + QStringLiteral(". The session was not added.");
    case JobText::MemoryLimit:
      return QStringLiteral(
          "Session memory limit exceeded. The session is too big to be added to the existing "
          "session library in Sorvani.");
    case JobText::InvalidDeviceLibrary:
      return QStringLiteral(
          "The session library in Sorvani is not valid. The session cannot be added to it.");
    case JobText::BackupFailed:
      return QStringLiteral("The session memory read from Sorvani cannot be kept as a backup.");
    case JobText::WorkingFileNotWritten:
      return QStringLiteral("The file \"%1\" cannot be written.").arg(subject);
    case JobText::ChangedSinceRead:
      return QStringLiteral("The session memory of Sorvani has %1: nothing was written.")
          .arg(jobtext::kChangedSinceRead);
    case JobText::VerifyFailed:
      return QStringLiteral("Sorvani holds other bytes than were written.");
    default:
      return FileText(text);
  }
}

QString JobMessage::Text() const {
  return Id != JobText::None ? JobTextOf(Id, Subject) : LinkTextOf(Link, Subject);
}

bool JobMessage::IsError() const {
  return Id != JobText::None || IsErrorText(Link);
}

}  // namespace ovrel
