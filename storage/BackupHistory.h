#pragma once
// The backup history: every session memory image read from the device is
// kept in the per-user data folder ($XDG_DATA_HOME/ovrelware/backups) as
// "YYYY-MM-DDTHH-MM-SSZ-NNNNNN.svl": the time it was read, in UTC, and a
// sequence number one above the newest backup's, so that the history is in
// the order of reading whatever the clock does and two reads within one
// second keep two files. Names of older versions ("YYYY-MM-DDTHH-MM-SS.svl"
// and "...-N.svl", local time) still belong to the history, before every
// numbered one. A file holds the image's used bytes, so that it is a
// library file like any other; an image that holds no valid library is kept
// whole (2048 bytes) so that nothing read from the device is lost. The
// newest 50 files are kept, and an image equal to the newest backup is not
// kept twice.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

#include "library/LibraryImage.h"

namespace ovrel {

inline constexpr int kBackupsKept = 50;

class BackupHistory {
 public:
  // The history in folder; by default the per-user one.
  explicit BackupHistory(QString folder = DefaultFolder());
  static QString DefaultFolder();

  struct Kept {
    QString Path;   // the backup that holds the image (new or the equal newest one)
    QString Error;  // why the image could not be kept; empty on success
  };
  // Keeps image as the newest backup, read at `when`, and removes the
  // oldest backups beyond kBackupsKept (never the one just kept). A file or
  // link found at the chosen name is never replaced nor followed: the next
  // number is taken.
  Kept Keep(std::span<const std::uint8_t, SesMemSize> image,
            const QDateTime& when = QDateTime::currentDateTimeUtc());

  // The backup files in the order they were kept, oldest first (full paths).
  QStringList Files() const;
  // The newest backup file, or an empty string when there is none.
  QString Newest() const;
  // When the backup at path was read, from its name; invalid for a name
  // that is not a backup's.
  static QDateTime ReadTime(const QString& path);

  // Keeps image in the per-user history; returns why it could not be kept,
  // or an empty string. The form a device link's keeper takes.
  static QString KeepInUserHistory(std::span<const std::uint8_t, SesMemSize> image);

 private:
  QString folder_;
};

}  // namespace ovrel
