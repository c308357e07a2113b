#include "storage/BackupHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <optional>
#include <tuple>
#include <vector>

#include "session/AtomicFile.h"
#include "session/FileBytes.h"
#include "storage/ProgramFolder.h"

namespace ovrel {

namespace {

// A backup's name: its time in UTC and its sequence number
// ("2026-03-01T12-00-00Z-000042.svl"), or, as older versions named them,
// its local time and a number when two images were read within one second.
const QRegularExpression& BackupName() {
  static const QRegularExpression name(QStringLiteral(
      R"(^(\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d)(?:Z-(\d{6,9})|-(\d{1,9}))?\.svl$)"));
  return name;
}

// Where a backup's name puts it in the history: the older names first, by
// time and number, then the numbered ones by number.
struct Order {
  bool Numbered = false;
  qint64 Number = 0;
  QString Time;
  QString Name;
  auto Key() const { return std::tie(Numbered, Time, Number, Name); }
};

std::optional<Order> OrderOf(const QString& name) {
  const QRegularExpressionMatch m = BackupName().match(name);
  if (!m.hasMatch()) return std::nullopt;
  Order order;
  order.Name = name;
  order.Numbered = m.hasCaptured(2);
  order.Number = (order.Numbered ? m.captured(2) : m.captured(3)).toLongLong();
  // Numbered backups follow their number alone: a clock set back must not
  // put a new backup before an old one.
  if (!order.Numbered) order.Time = m.captured(1);
  return order;
}

std::vector<Order> Ordered(const QString& folder) {
  std::vector<Order> found;
  for (const QString& name : QDir(folder).entryList({QStringLiteral("*.svl")}, QDir::Files)) {
    if (auto order = OrderOf(name)) found.push_back(std::move(*order));
  }
  std::sort(found.begin(), found.end(),
            [](const Order& a, const Order& b) { return a.Key() < b.Key(); });
  return found;
}

// The contents of a backup as far as comparing goes: no backup is larger
// than the memory.
std::optional<std::string> ReadBackup(const QString& path) {
  FileBytes file = ReadFileBytes(QFile::encodeName(path).toStdString(), SesMemSize);
  return file ? std::move(file.Bytes) : std::nullopt;
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
  QStringList paths;
  for (const Order& order : Ordered(folder_)) paths << QDir(folder_).filePath(order.Name);
  return paths;
}

QString BackupHistory::Newest() const {
  const QStringList files = Files();
  return files.isEmpty() ? QString() : files.back();
}

QDateTime BackupHistory::ReadTime(const QString& path) {
  const QRegularExpressionMatch m = BackupName().match(QFileInfo(path).fileName());
  if (!m.hasMatch()) return {};
  QDateTime time = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
  if (m.hasCaptured(2)) time.setTimeSpec(Qt::UTC);
  return time;
}

BackupHistory::Kept BackupHistory::Keep(std::span<const std::uint8_t, SesMemSize> image,
                                        const QDateTime& when) {
  const std::span<const std::uint8_t> used = UsedImageBytes(image);
  const std::string bytes(reinterpret_cast<const char*>(used.data()), used.size());
  const std::vector<Order> existing = Ordered(folder_);
  if (!existing.empty()) {
    const QString newest = QDir(folder_).filePath(existing.back().Name);
    if (ReadBackup(newest) == bytes) return {newest, {}};
  }
  if (!QDir().mkpath(folder_)) {
    return {{}, QStringLiteral("The folder %1 cannot be made.").arg(folder_)};
  }
  qint64 number = 1;
  for (const Order& order : existing) {
    if (order.Numbered) number = std::max(number, order.Number + 1);
  }
  const QString stamp = when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
  QString path;
  // Another program may keep a backup at the same moment: a name that is
  // taken is left to it, and the next number is tried.
  for (int attempt = 0;; ++attempt, ++number) {
    path = QDir(folder_).filePath(
        QStringLiteral("%1Z-%2.svl").arg(stamp).arg(number, 6, 10, QChar('0')));
    const FileWriteResult written = WriteNewFileAtomically(QFile::encodeName(path).toStdString(), bytes);
    if (written) break;
    const QFileInfo taken(path);
    if (attempt >= 100 || !(taken.exists() || taken.isSymLink()))
      return {{}, QString::fromStdString(written.Error)};
  }

  std::vector<Order> kept = Ordered(folder_);
  const QString keptName = QFileInfo(path).fileName();
  std::erase_if(kept, [&](const Order& order) { return order.Name == keptName; });
  for (std::size_t i = 0; i + kBackupsKept - 1 < kept.size(); ++i)
    QFile::remove(QDir(folder_).filePath(kept[i].Name));
  return {path, {}};
}

}  // namespace ovrel
