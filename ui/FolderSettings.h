#pragma once
// The folders and chosen files of one run: where the program keeps its
// files, where the file dialogs start and which library and session the main
// window uploads. The main window owns the one instance and sets it up; the
// editor reads it and the library compiler also moves the libraries folder.
// Folders set from a chosen file keep their trailing "/".

#include <QString>

namespace ovrel {

class FolderSettings {
 public:
  FolderSettings() = default;
  FolderSettings(const FolderSettings&) = delete;
  FolderSettings& operator=(const FolderSettings&) = delete;

  const QString& ProgramFolder() const { return programFolder_; }
  const QString& DocumentFolder() const { return documentFolder_; }
  const QString& SessionsFolder() const { return sessionsFolder_; }
  const QString& LibrariesFolder() const { return librariesFolder_; }
  const QString& SelectedLibraryPath() const { return selectedLibraryPath_; }
  const QString& SelectedSessionPath() const { return selectedSessionPath_; }

  // The program folder (see LocateProgramFolders; no trailing separator)
  // and the folder of the help document; the sessions and libraries
  // folders start as its "Sessions" and "Libraries".
  void SetProgramFolders(const QString& program, const QString& documents);
  void SetSessionsFolder(const QString& folder) { sessionsFolder_ = folder; }
  void SetLibrariesFolder(const QString& folder) { librariesFolder_ = folder; }
  void SetSelectedLibraryPath(const QString& path) { selectedLibraryPath_ = path; }
  void SetSelectedSessionPath(const QString& path) { selectedSessionPath_ = path; }

 private:
  QString programFolder_;
  QString documentFolder_;
  QString sessionsFolder_;
  QString librariesFolder_;
  QString selectedLibraryPath_;  // empty at start
  QString selectedSessionPath_;  // empty at start
};

}  // namespace ovrel
