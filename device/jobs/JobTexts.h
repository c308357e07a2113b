#pragma once
// The messages only the device jobs give: the files a job reads or
// writes, what it makes of the memory it read, and the stages it adds
// around the link's operations. Each is a value of JobText, and its words
// are made here and nowhere else; the link's own messages stay LinkText.

#include <QString>
#include <utility>

#include "device/link/OperationResult.h"

namespace ovrel {

enum class JobText {
  None,
  RestorePortOpenFailed,  // the port of a restore cannot be opened; Subject: the backup's name
  LibFileNotFound,
  LibFileNotRegular,  // a folder, a pipe or a device was named as the library
  LibFileUnreadable,
  LibFileTooBig,
  LibFileNotSound,
  SesFileNotFound,
  SesFileNotRegular,
  SesFileUnreadable,
  SesFileNotSound,  // Subject: why the session cannot be read
  MemoryLimit,
  InvalidDeviceLibrary,
  BackupFailed,           // the memory read could not be kept in the backup history
  WorkingFileNotWritten,  // Subject: the working file's name
  ChangedSinceRead,       // the device holds another memory than the one the write replaces
  VerifyFailed,           // the memory read back differs from what was written
};

// The words of a message; subject fills the messages that name something.
QString JobTextOf(JobText text, const QString& subject = {});

// One message of a job: the link's (Link) or the job's own (Job), what it
// names, and extra text shown below it (the system's reason, a path).
struct JobMessage {
  JobText Id = JobText::None;
  QString Detail;
  QString Subject;
  LinkText Link = LinkText::None;

  JobMessage() = default;
  JobMessage(JobText id, QString detail, QString subject)
      : Id(id), Detail(std::move(detail)), Subject(std::move(subject)) {}
  JobMessage(const LinkMessage& link)  // NOLINT: a link's message is a job's as it is
      : Detail(link.Detail), Subject(link.Subject), Link(link.Id) {}

  QString Text() const;
  // Every job text is an error; the link decides about its own.
  bool IsError() const;
  bool Empty() const { return Id == JobText::None && Link == LinkText::None; }
  // The message on one line: its text, then its detail.
  QString Line() const { return Detail.isEmpty() ? Text() : Text() + QLatin1Char(' ') + Detail; }
};

// Texts that the windows and ovrel show as names.
namespace jobtext {
inline const QString kChangedSinceRead = QStringLiteral("changed since it was read");
}  // namespace jobtext

}  // namespace ovrel
