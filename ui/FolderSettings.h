#pragma once
// The folder and file settings that the main window keeps for the whole run
// and that the editor and the library compiler read (and partly write back).
// Folders set from a chosen file keep their trailing "/".

#include <QString>

namespace ovrel {

struct FolderSettings {
  QString ProgramFolder;        // see LocateProgramFolders; no trailing separator
  QString DocumentFolder;       // the folder of the help document
  QString SessionsFolder;       // ProgramFolder + "/Sessions" at start
  QString LibrariesFolder;      // ProgramFolder + "/Libraries" at start
  QString SelectedLibraryPath;  // empty at start
  QString SelectedSessionPath;  // empty at start
};

}  // namespace ovrel
