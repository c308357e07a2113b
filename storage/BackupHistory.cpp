#include "storage/BackupHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"
#include "library/LibraryFileRead.h"
#include "storage/ProgramFolder.h"

namespace ovrel {

namespace {

// The word a backup's name ends with for each reason, in the order of the
// enumeration.
constexpr std::array<const char*, 4> kReasonWords{"upload", "add", "edit", "read"};

QString ReasonWord(BackupReason reason) {
  return QString::fromLatin1(kReasonWords[static_cast<std::size_t>(reason)]);
}

// A backup's name: its time in UTC, its sequence number and why it was kept
// ("2026-03-01T12-00-00Z-000042-upload.svl", the reason missing in older
// names), or, as older versions named them, its local time and a number
// when two images were read within one second.
const QRegularExpression& BackupName() {
  static const QRegularExpression name(QStringLiteral(
      R"(^(\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d)(?:Z-(\d{6,18})(?:-(upload|add|edit|read))?|-(\d{1,9}))?\.svl$)"));
  return name;
}

// The record of the writes that began after a backup: "begun NAME" until
// the write has gone through whole, then "whole NAME". A write cut off (a
// lost line, a killed program) stays "begun".
const QString kWriteRecord = QStringLiteral("write-outcomes");
constexpr std::size_t kMaxWriteRecordBytes = 1 << 20;

enum class WriteOutcome { Begun, Whole };
using WriteOutcomes = std::map<QString, WriteOutcome>;

WriteOutcomes ReadOutcomes(const QString& folder) {
  WriteOutcomes outcomes;
  const FileBytes file = ReadFileBytes(
      QFile::encodeName(QDir(folder).filePath(kWriteRecord)).toStdString(), kMaxWriteRecordBytes);
  if (!file) return outcomes;
  for (const QString& line : QString::fromUtf8(*file).split(QLatin1Char('\n'))) {
    const QString state = line.section(QLatin1Char(' '), 0, 0);
    const QString name = line.section(QLatin1Char(' '), 1);
    if (name.isEmpty()) continue;
    if (state == QLatin1String("begun")) outcomes[name] = WriteOutcome::Begun;
    if (state == QLatin1String("whole")) outcomes[name] = WriteOutcome::Whole;
  }
  return outcomes;
}

void WriteOutcomesOf(const QString& folder, const WriteOutcomes& outcomes) {
  QString text;
  for (const auto& [name, outcome] : outcomes) {
    text += (outcome == WriteOutcome::Begun ? QStringLiteral("begun ") : QStringLiteral("whole ")) +
            name + QLatin1Char('\n');
  }
  const QByteArray bytes = text.toUtf8();
  // The record only adds to what the backups say: one that cannot be
  // written leaves them as they are.
  static_cast<void>(WriteFileAtomically(
      QFile::encodeName(QDir(folder).filePath(kWriteRecord)).toStdString(),
      std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

// A sequence number of any length, without its leading zeros, so that
// numbers compare by length first and then digit by digit.
QString Digits(const QString& number) {
  qsizetype zeros = 0;
  while (zeros + 1 < number.size() && number[zeros] == QLatin1Char('0')) ++zeros;
  return number.mid(zeros);
}

bool Below(const QString& a, const QString& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

QString NextNumber(QString number) {
  for (qsizetype i = number.size() - 1; i >= 0; --i) {
    if (number[i] != QLatin1Char('9')) {
      number[i] = QChar(number[i].unicode() + 1);
      return number;
    }
    number[i] = QLatin1Char('0');
  }
  return QLatin1Char('1') + number;
}

// Where a backup's name puts it in the history: the older names first, by
// time and number, then the numbered ones by number.
struct Order {
  bool Numbered = false;
  QString Number;  // without leading zeros
  QString Time;
  QString Name;
  BackupReason Reason = BackupReason::Read;
  bool operator<(const Order& other) const {
    if (Numbered != other.Numbered) return !Numbered;
    if (Time != other.Time) return Time < other.Time;
    if (Number != other.Number) return Below(Number, other.Number);
    return Name < other.Name;
  }
};

std::optional<Order> OrderOf(const QString& name) {
  const QRegularExpressionMatch m = BackupName().match(name);
  if (!m.hasMatch()) return std::nullopt;
  Order order;
  order.Name = name;
  order.Numbered = m.hasCaptured(2);
  order.Number = Digits(order.Numbered ? m.captured(2) : m.captured(4));
  // Numbered backups follow their number alone: a clock set back must not
  // put a new backup before an old one.
  if (!order.Numbered) order.Time = m.captured(1);
  for (std::size_t i = 0; i < kReasonWords.size(); ++i) {
    if (m.captured(3) == QLatin1String(kReasonWords[i]))
      order.Reason = static_cast<BackupReason>(i);
  }
  return order;
}

// Every entry with a backup's name, whatever it is: a folder, a pipe or a
// dangling link there is shown as broken rather than left out.
std::vector<Order> Ordered(const QString& folder) {
  std::vector<Order> found;
  const QStringList names =
      QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& name : names) {
    if (auto order = OrderOf(name)) found.push_back(std::move(*order));
  }
  std::sort(found.begin(), found.end());
  return found;
}

BackupKind KindAt(const QString& path) {
  const QFileInfo info(path);
  if (info.isSymLink()) return info.isFile() ? BackupKind::Link : BackupKind::Broken;
  return info.isFile() ? BackupKind::File : BackupKind::Broken;
}

// The contents of a backup as far as comparing goes: no backup is larger
// than the memory.
std::optional<std::string> ReadBackup(const QString& path) {
  FileBytes file = ReadFileBytes(QFile::encodeName(path).toStdString(), SesMemSize);
  if (!file) return std::nullopt;
  return std::move(*file);
}

}  // namespace

BackupHistory::BackupHistory(QString folder) : folder_(std::move(folder)) {}

QString BackupHistory::KeepInUserHistory(std::span<const std::uint8_t, SesMemSize> image,
                                         BackupReason reason) {
  return BackupHistory().Keep(image, reason).Error;
}

QString BackupHistory::DefaultFolder() {
  return PerUserDataFolder() + QStringLiteral("/backups");
}

std::vector<BackupEntry> BackupHistory::Entries() const {
  std::vector<BackupEntry> entries;
  for (const Order& order : Ordered(folder_)) {
    const QString path = QDir(folder_).filePath(order.Name);
    entries.push_back({path, order.Reason, KindAt(path)});
  }
  return entries;
}

QStringList BackupHistory::Files() const {
  QStringList paths;
  for (const BackupEntry& entry : Entries()) paths << entry.Path;
  return paths;
}

QString BackupHistory::Newest() const {
  const QStringList files = Files();
  return files.isEmpty() ? QString() : files.back();
}

BackupHistory::Candidates BackupHistory::RestoreCandidates() const {
  const WriteOutcomes outcomes = ReadOutcomes(folder_);
  Candidates found;
  // After a write that did not go through whole, the memory is whatever it
  // left, until a write goes through whole: nothing kept meanwhile stands
  // for the memory before a write.
  bool torn = false;
  for (const BackupEntry& entry : Entries()) {
    const bool sound = !torn && entry.Kind == BackupKind::File;
    if (entry.Reason == BackupReason::Read) {
      if (sound) found.Reads.push_back(entry);
      continue;
    }
    if (sound) found.BeforeWrites.push_back(entry);
    const auto outcome = outcomes.find(QFileInfo(entry.Path).fileName());
    if (outcome == outcomes.end()) continue;  // no write began after it
    if (outcome->second == WriteOutcome::Begun && !torn) found.BeforeFailure = entry.Path;
    torn = outcome->second == WriteOutcome::Begun;
  }
  return found;
}

std::optional<BackupEntry> BackupHistory::RestoreTarget() const {
  const Candidates found = RestoreCandidates();
  for (const std::vector<BackupEntry>* list : {&found.BeforeWrites, &found.Reads}) {
    for (auto it = list->rbegin(); it != list->rend(); ++it) {
      if (HoldsSoundLibrary(it->Path)) return *it;
    }
  }
  return std::nullopt;
}

void BackupHistory::WriteBegins(const QString& backupPath) {
  NoteWrite(backupPath, false);
}

void BackupHistory::WriteEnded(const QString& backupPath, bool whole) {
  NoteWrite(backupPath, whole);
}

void BackupHistory::NoteWrite(const QString& backupPath, bool whole) {
  if (backupPath.isEmpty()) return;
  WriteOutcomes outcomes = ReadOutcomes(folder_);
  // Only what the history still holds is remembered.
  std::erase_if(outcomes, [&](const auto& outcome) {
    return !QFileInfo(QDir(folder_).filePath(outcome.first)).exists();
  });
  outcomes[QFileInfo(backupPath).fileName()] = whole ? WriteOutcome::Whole : WriteOutcome::Begun;
  WriteOutcomesOf(folder_, outcomes);
}

bool BackupHistory::HoldsEmptyMemory(const QString& path) {
  const FileBytes file = ReadFileBytes(QFile::encodeName(path).toStdString(), SesMemSize);
  if (!file || file->size() != SesMemSize) return false;
  const std::string& bytes = *file;
  return std::all_of(bytes.begin(), bytes.end(), [&](char c) { return c == bytes.front(); }) &&
         (bytes.front() == '\0' || bytes.front() == '\xff');
}

QDateTime BackupHistory::ReadTime(const QString& path) {
  const QRegularExpressionMatch m = BackupName().match(QFileInfo(path).fileName());
  if (!m.hasMatch()) return {};
  QDateTime time = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
  if (m.hasCaptured(2)) time.setTimeSpec(Qt::UTC);
  return time;
}

BackupReason BackupHistory::ReasonOf(const QString& path) {
  const std::optional<Order> order = OrderOf(QFileInfo(path).fileName());
  return order ? order->Reason : BackupReason::Read;
}

QString BackupHistory::ReasonText(BackupReason reason) {
  switch (reason) {
    case BackupReason::BeforeUpload:
      return QStringLiteral("before upload");
    case BackupReason::BeforeAdd:
      return QStringLiteral("before add");
    case BackupReason::BeforeEdit:
      return QStringLiteral("before edit");
    case BackupReason::Read:
      break;
  }
  return QStringLiteral("read");
}

bool BackupHistory::HoldsSoundLibrary(const QString& path) {
  return !WhyNotSound(ReadLibraryFile(QFile::encodeName(path).toStdString()));
}

BackupHistory::Kept BackupHistory::Keep(std::span<const std::uint8_t, SesMemSize> image,
                                        BackupReason reason, const QDateTime& when) {
  const std::span<const std::uint8_t> used = UsedImageBytes(image);
  const std::string bytes(reinterpret_cast<const char*>(used.data()), used.size());
  const std::vector<Order> existing = Ordered(folder_);
  if (!existing.empty()) {
    // A plain read does not stand for the memory before a write: the same
    // image kept before a write is kept again, under its own reason. Nor
    // does a backup that a write already began over: each write has its
    // own, so that how one write ended never stands for another's.
    const Order& newest = existing.back();
    const QString newestPath = QDir(folder_).filePath(newest.Name);
    const bool written = ReadOutcomes(folder_).count(newest.Name) != 0;
    const bool covers =
        !written && (newest.Reason != BackupReason::Read || reason == BackupReason::Read);
    if (covers && KindAt(newestPath) == BackupKind::File && ReadBackup(newestPath) == bytes)
      return {newestPath, {}};
  }
  if (!QDir().mkpath(folder_)) {
    return {{}, QStringLiteral("The folder %1 cannot be made.").arg(folder_)};
  }
  QString number = QStringLiteral("1");
  for (const Order& order : existing) {
    if (order.Numbered && !Below(order.Number, number)) number = NextNumber(order.Number);
  }
  const QString stamp = when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
  QString path;
  // Another program may keep a backup at the same moment: a name that is
  // taken is left to it, and the next number is tried.
  for (int attempt = 0;; ++attempt, number = NextNumber(number)) {
    path = QDir(folder_).filePath(
        QStringLiteral("%1Z-%2-%3.svl")
            .arg(stamp, number.rightJustified(6, QLatin1Char('0')), ReasonWord(reason)));
    const FileWriteResult written =
        WriteNewFileAtomically(QFile::encodeName(path).toStdString(), bytes);
    if (written) break;
    const QFileInfo taken(path);
    if (attempt >= 100 || !(taken.exists() || taken.isSymLink()))
      return {{}, QString::fromStdString(written.Error())};
  }

  Prune(QFileInfo(path).fileName());
  return {path, {}};
}

void BackupHistory::Prune(const QString& keptName) const {
  // The backup a restore brings back stays, however many reads follow it,
  // and so does the memory as it was before a write that did not go
  // through, as long as no write has gone through whole since.
  std::set<QString> spared{keptName};
  const std::optional<BackupEntry> target = RestoreTarget();
  if (target && target->Reason != BackupReason::Read)
    spared.insert(QFileInfo(target->Path).fileName());
  const QString beforeFailure = RestoreCandidates().BeforeFailure;
  if (!beforeFailure.isEmpty()) spared.insert(QFileInfo(beforeFailure).fileName());
  std::vector<Order> kept = Ordered(folder_);
  std::erase_if(kept, [&](const Order& order) { return spared.count(order.Name) != 0; });
  const std::size_t room = kBackupsKept - std::min<std::size_t>(spared.size(), kBackupsKept);
  for (std::size_t i = 0; i + room < kept.size(); ++i)
    QFile::remove(QDir(folder_).filePath(kept[i].Name));
}

}  // namespace ovrel
