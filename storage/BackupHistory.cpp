#include "storage/BackupHistory.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>

#include "storage/ProgramFolder.h"

namespace ovrel {

namespace {

// A backup's name: its time, and a number when two images were read within
// the same second.
const QRegularExpression& BackupName() {
  static const QRegularExpression name(
      QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d(-\d+)?\.svl$)"));
  return name;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

BackupHistory::BackupHistory(QString folder) : folder_(std::move(folder)) {}

QString BackupHistory::KeepInUserHistory(std::span<const std::uint8_t, SesMemSize> image) {
  return BackupHistory().Keep(image).Error;
}

QString BackupHistory::DefaultFolder() {
  return PerUserDataFolder() + QStringLiteral("/backups");
}

QStringList BackupHistory::Files() const {
  QStringList names = QDir(folder_).entryList({QStringLiteral("*.svl")}, QDir::Files);
  names.removeIf([](const QString& name) { return !BackupName().match(name).hasMatch(); });
  // By time, then by the number of a second image within one second: the
  // names without ".svl" sort that way ("…-05" before "…-05-1").
  std::sort(names.begin(), names.end(),
            [](const QString& a, const QString& b) { return a.chopped(4) < b.chopped(4); });
  QStringList paths;
  for (const QString& name : names) paths << QDir(folder_).filePath(name);
  return paths;
}

QString BackupHistory::Newest() const {
  const QStringList files = Files();
  return files.isEmpty() ? QString() : files.back();
}

BackupHistory::Kept BackupHistory::Keep(std::span<const std::uint8_t, SesMemSize> image,
                                        const QDateTime& when) {
  const std::span<const std::uint8_t> used = UsedImageBytes(image);
  const QByteArray bytes(reinterpret_cast<const char*>(used.data()),
                         static_cast<qsizetype>(used.size()));
  const QString newest = Newest();
  if (!newest.isEmpty() && ReadAll(newest) == bytes) return {newest, {}};
  if (!QDir().mkpath(folder_)) {
    return {{}, QStringLiteral("The folder %1 cannot be made.").arg(folder_)};
  }
  const QString stamp = when.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
  QString path = QDir(folder_).filePath(stamp + QStringLiteral(".svl"));
  for (int n = 1; QFile::exists(path); ++n)
    path = QDir(folder_).filePath(QStringLiteral("%1-%2.svl").arg(stamp).arg(n));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    return {{}, QStringLiteral("%1: %2").arg(path, file.errorString())};
  }
  QStringList files = Files();
  while (files.size() > kBackupsKept) QFile::remove(files.takeFirst());
  return {path, {}};
}

}  // namespace ovrel
