#pragma once
// The folder and file settings that the main window keeps for the whole run
// and that the editor and the library compiler read (and partly write back).
// Folders set from a chosen file keep their trailing "/".

#include <QString>

namespace ovrel {

struct FolderSettings {
  QString ProgramFolder;        // folder of the executable, no trailing separator
  QString SessionsFolder;       // ProgramFolder + "/Sessions" at start
  QString LibrariesFolder;      // ProgramFolder + "/Libraries" at start
  QString SelectedLibraryPath;  // empty at start
  QString SelectedSessionPath;  // empty at start
};

}  // namespace ovrel
