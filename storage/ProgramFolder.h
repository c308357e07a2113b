#pragma once
// Where the program keeps its working files, its Sessions/ and Libraries/
// folders and the files that remote-control clients hand over.
//
// A program run from a folder it may write (the build folder, a portable
// copy) works in that folder. An installed program may not write beside its
// executable, so it works in the per-user folder $XDG_DATA_HOME/ovrelware
// instead; the first run there copies the installed example sessions and
// library into it. The desktop program, the remote control and `ovrel` all
// ask this one rule.

#include <QString>

namespace ovrel {

struct ProgramFolders {
  // The program folder: working files, Sessions/, Libraries/. No trailing "/".
  QString Program;
  // The folder that holds the help document.
  QString Documents;
  // True when Program is the per-user folder of an installed program.
  bool PerUser = false;
};

// The program's per-user data folder, $XDG_DATA_HOME/ovrelware (by default
// ~/.local/share/ovrelware); it is not created here.
QString PerUserDataFolder();

// The folders for a program whose executable lies in executableFolder.
// Creates and seeds the per-user folder when the executable's folder cannot
// be written; a file the user already has there is never overwritten.
ProgramFolders LocateProgramFolders(const QString& executableFolder);

// The same for the running executable.
ProgramFolders LocateProgramFolders();

}  // namespace ovrel
