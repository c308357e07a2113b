#pragma once
// What the program remembers for the user from one run to the next: the
// chosen port, the library and session files, the folders the file dialogs
// start in, the recently opened sessions and where each window was. Kept in
// $XDG_CONFIG_HOME/ovrelware/ovrelware.conf; every window reads and writes
// through this class only, and an instance is cheap (the file is shared).

#include <QByteArray>
#include <QString>
#include <QStringList>

class QSettings;
class QWidget;

namespace ovrel {

class UserSettings {
 public:
  // The most recent files the Session menu lists.
  static constexpr int kMaxRecentFiles = 8;

  UserSettings();
  ~UserSettings();
  UserSettings(const UserSettings&) = delete;
  UserSettings& operator=(const UserSettings&) = delete;

  // The file the settings are kept in.
  QString FileName() const;
  // Forgets everything.
  void Clear();

  QString Port() const;
  void SetPort(const QString& port);
  // The main window's library and single-session files.
  QString LibraryFile() const;
  void SetLibraryFile(const QString& path);
  QString SessionFile() const;
  void SetSessionFile(const QString& path);
  // The folders the main window's file dialogs start in.
  QString SessionsFolder() const;
  void SetSessionsFolder(const QString& folder);
  QString LibrariesFolder() const;
  void SetLibrariesFolder(const QString& folder);
  // The player's volume (0 to 100; fallback when never set) and beat
  // ("binaural" or "isochronic"; empty when never set).
  int PlayerVolume(int fallback) const;
  void SetPlayerVolume(int volume);
  QString PlayerBeat() const;
  void SetPlayerBeat(const QString& beat);

  // The folder a file was last opened from or saved to, for the next save
  // dialog; empty when none was used yet.
  QString LastFolder() const;
  void SetLastFolderOf(const QString& filePath);
  // Where a save dialog starts: the last folder used when it exists and is
  // not hidden, otherwise fallbackFolder when that is fit, otherwise the
  // home folder.
  QString SaveFolder(const QString& fallbackFolder) const;

  // Sessions opened or saved, newest first, only those that still exist, at
  // most kMaxRecentFiles.
  QStringList RecentFiles() const;
  void AddRecentFile(const QString& path);

  // A window's place and size, under its object name. RestoreGeometry keeps
  // the window inside its screen's available area; false when nothing was
  // kept for it.
  void SaveGeometry(const QWidget& window);
  bool RestoreGeometry(QWidget& window) const;

 private:
  QSettings* settings_;
};

}  // namespace ovrel
