#include "ui/UserSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QWidget>
#include <algorithm>

#include "ui/ScreenPlacement.h"

namespace ovrel {

namespace {

const QString kPortKey = QStringLiteral("device/port");
const QString kLibraryFileKey = QStringLiteral("files/library");
const QString kSessionFileKey = QStringLiteral("files/session");
const QString kRecentFilesKey = QStringLiteral("files/recent");
const QString kSessionsFolderKey = QStringLiteral("folders/sessions");
const QString kLibrariesFolderKey = QStringLiteral("folders/libraries");
const QString kLastFolderKey = QStringLiteral("folders/last");
const QString kPlayerVolumeKey = QStringLiteral("player/volume");
const QString kPlayerBeatKey = QStringLiteral("player/beat");

QString GeometryKey(const QWidget& window) {
  return QStringLiteral("windows/") + window.objectName() + QStringLiteral("/geometry");
}

// A folder a save dialog should not start in: one that is gone, or hidden
// itself or inside a hidden folder (a dot folder the dialog does not list).
bool UnfitForSaving(const QString& folder) {
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return true;
  const QStringList parts = QDir::cleanPath(QFileInfo(folder).absoluteFilePath())
                                .split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (const QString& part : parts)
    if (part.startsWith(QLatin1Char('.'))) return true;
  return false;
}

}  // namespace

UserSettings::UserSettings()
    : settings_(new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                              QStringLiteral("ovrelware"), QStringLiteral("ovrelware"))) {}

UserSettings::~UserSettings() {
  delete settings_;
}

QString UserSettings::FileName() const {
  return settings_->fileName();
}

void UserSettings::Clear() {
  settings_->clear();
  settings_->sync();
}

QString UserSettings::Port() const {
  return settings_->value(kPortKey).toString();
}
void UserSettings::SetPort(const QString& port) {
  settings_->setValue(kPortKey, port);
}
QString UserSettings::LibraryFile() const {
  return settings_->value(kLibraryFileKey).toString();
}
void UserSettings::SetLibraryFile(const QString& path) {
  settings_->setValue(kLibraryFileKey, path);
}
QString UserSettings::SessionFile() const {
  return settings_->value(kSessionFileKey).toString();
}
void UserSettings::SetSessionFile(const QString& path) {
  settings_->setValue(kSessionFileKey, path);
}
QString UserSettings::SessionsFolder() const {
  return settings_->value(kSessionsFolderKey).toString();
}
void UserSettings::SetSessionsFolder(const QString& folder) {
  settings_->setValue(kSessionsFolderKey, folder);
}
QString UserSettings::LibrariesFolder() const {
  return settings_->value(kLibrariesFolderKey).toString();
}
void UserSettings::SetLibrariesFolder(const QString& folder) {
  settings_->setValue(kLibrariesFolderKey, folder);
}

int UserSettings::PlayerVolume(int fallback) const {
  bool ok = false;
  const int volume = settings_->value(kPlayerVolumeKey).toInt(&ok);
  return ok ? std::clamp(volume, 0, 100) : fallback;
}

void UserSettings::SetPlayerVolume(int volume) { settings_->setValue(kPlayerVolumeKey, volume); }

QString UserSettings::PlayerBeat() const { return settings_->value(kPlayerBeatKey).toString(); }

void UserSettings::SetPlayerBeat(const QString& beat) { settings_->setValue(kPlayerBeatKey, beat); }

QString UserSettings::LastFolder() const {
  return settings_->value(kLastFolderKey).toString();
}

void UserSettings::SetLastFolderOf(const QString& filePath) {
  settings_->setValue(kLastFolderKey, QFileInfo(filePath).absolutePath());
}

QString UserSettings::SaveFolder(const QString& fallbackFolder) const {
  if (const QString last = LastFolder(); !UnfitForSaving(last)) return last;
  if (!UnfitForSaving(fallbackFolder)) return fallbackFolder;
  return QDir::homePath();
}

QStringList UserSettings::RecentFiles() const {
  QStringList kept;
  for (const QString& path : settings_->value(kRecentFilesKey).toStringList()) {
    if (kept.size() == kMaxRecentFiles) break;
    if (QFileInfo(path).isFile() && !kept.contains(path)) kept << path;
  }
  return kept;
}

void UserSettings::AddRecentFile(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  QStringList list = settings_->value(kRecentFilesKey).toStringList();
  list.removeAll(full);
  list.prepend(full);
  // Files that are gone now may come back (a drive plugged in again), so
  // the list keeps a few more than it shows.
  while (list.size() > 2 * kMaxRecentFiles) list.removeLast();
  settings_->setValue(kRecentFilesKey, list);
}

void UserSettings::SaveGeometry(const QWidget& window) {
  settings_->setValue(GeometryKey(window), window.saveGeometry());
}

bool UserSettings::RestoreGeometry(QWidget& window) const {
  const QByteArray kept = settings_->value(GeometryKey(window)).toByteArray();
  if (kept.isEmpty() || !window.restoreGeometry(kept)) return false;
  // The screen may be smaller now, or another one.
  KeepOnScreen(window);
  return true;
}

}  // namespace ovrel
