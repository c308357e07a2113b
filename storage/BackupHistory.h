#pragma once
// The backup history: every session memory image read from the device is
// kept in the per-user data folder ($XDG_DATA_HOME/ovrelware/backups) as
// "YYYY-MM-DDTHH-MM-SSZ-NNNNNN-WHY.svl": the time it was read, in UTC, a
// sequence number one above the newest backup's (six to eighteen digits: a
// name with a longer number was made by no version and is left alone), so
// that the history is in the order of reading whatever the clock does and
// two reads within one second keep two files, and why it was kept
// ("upload", "add", "edit": the memory a write was about to replace;
// "read": a plain read). The reason is part of the name, so that it is
// written in the same step as the backup itself. Names of older versions
// ("...Z-NNNNNN.svl" without a reason, "YYYY-MM-DDTHH-MM-SS.svl" and
// "...-N.svl" in local time) still belong to the history, as plain reads,
// the local-time ones before every numbered one. A file holds the image's
// used bytes, so that it is a library file like any other; an image that
// holds no valid library is kept whole (2048 bytes) so that nothing read
// from the device is lost. The newest 50 entries are kept (and always the
// newest one kept before a write, and the one kept before a write that was
// cut off), and an image equal to the newest backup
// is not kept twice, unless the newest is a plain read and this one is kept
// before a write.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "library/LibraryImage.h"
#include "storage/BackupReason.h"

namespace ovrel {

inline constexpr int kBackupsKept = 50;

// What is found at a backup's name.
enum class BackupKind {
  File,    // a regular file
  Link,    // a symbolic link to a regular file: listed, never restored
  Broken,  // anything else: a folder, a FIFO, a device, a dangling link
};

struct BackupEntry {
  QString Path;
  BackupReason Reason = BackupReason::Read;
  BackupKind Kind = BackupKind::File;
};

class BackupHistory {
 public:
  // The history in folder; by default the per-user one.
  explicit BackupHistory(QString folder = DefaultFolder());
  static QString DefaultFolder();

  struct Kept {
    QString Path;   // the backup that holds the image (new or the equal newest one)
    QString Error;  // why the image could not be kept; empty on success
  };
  // Keeps image as the newest backup, read at `when` for `reason`, and
  // removes the oldest backups beyond kBackupsKept (never the one just
  // kept, nor the newest one kept before a write). A file or link found at
  // the chosen name is never replaced nor followed: the next number is
  // taken.
  Kept Keep(std::span<const std::uint8_t, SesMemSize> image, BackupReason reason,
            const QDateTime& when = QDateTime::currentDateTimeUtc());

  // Every entry with a backup's name, in the order they were kept, oldest
  // first, whatever it is (full paths).
  std::vector<BackupEntry> Entries() const;
  // The paths of Entries().
  QStringList Files() const;
  // The newest backup file, or an empty string when there is none.
  QString Newest() const;

  // The backup a restore without a file brings back: the newest regular
  // file holding a sound library that was kept before a write (the memory
  // as it was before the last write); only when no such backup exists, the
  // newest sound plain read. What was kept after a write that did not go
  // through whole (noted by WriteBegins without WriteEnded(whole)), and
  // before the next write that did, holds what that write left: it is
  // never chosen. Nothing when no entry holds a sound library.
  std::optional<BackupEntry> RestoreTarget() const;

  // A write into the device begins over the memory kept at backupPath;
  // until WriteEnded says it went through whole, it counts as cut off
  // (also when the program is killed in between).
  void WriteBegins(const QString& backupPath);
  // The write begun over backupPath has ended: whole, or not.
  void WriteEnded(const QString& backupPath, bool whole);

  // When the backup at path was read, from its name; invalid for a name
  // that is not a backup's.
  static QDateTime ReadTime(const QString& path);
  // Why the backup at path was kept, from its name (a plain read for a
  // name without a reason).
  static BackupReason ReasonOf(const QString& path);
  // A short text for a reason: "before upload", "before add", "before
  // edit", "read".
  static QString ReasonText(BackupReason reason);
  // Whether the file at path (followed if a link) holds a sound library.
  static bool HoldsSoundLibrary(const QString& path);
  // Whether the file at path holds a whole memory of one repeated byte,
  // 0x00 or 0xFF: a device that was never written, rather than a broken one.
  static bool HoldsEmptyMemory(const QString& path);

  // Keeps image in the per-user history; returns why it could not be kept,
  // or an empty string. The form a device link's keeper takes.
  static QString KeepInUserHistory(std::span<const std::uint8_t, SesMemSize> image,
                                   BackupReason reason);

 private:
  // The entries a restore may choose, oldest first, and the backup kept
  // before the first write that was cut off since the last whole one.
  struct Candidates {
    std::vector<BackupEntry> BeforeWrites;
    std::vector<BackupEntry> Reads;
    QString BeforeFailure;
  };
  Candidates RestoreCandidates() const;
  void NoteWrite(const QString& backupPath, bool whole);
  // Removes the oldest entries beyond kBackupsKept, never keptName nor what
  // a restore needs.
  void Prune(const QString& keptName) const;

  QString folder_;
};

}  // namespace ovrel
