#pragma once
// The session editor's two hidden file commands with their dialogs and
// messages: the legacy import (ImportRVXfile) and the CSV export
// (ExportSesAsCSV). The editor's menu handlers call them with the window
// and its dialogs.

#include "app/Dialogs.h"

namespace ovrel {

class TForm2;

// Offers to save a modified session, asks for a legacy file with
// OpenDialog2 and imports it into the editor's session. A file that cannot
// be imported is reported and changes nothing. After an import, and after
// the dialog was cancelled, the session is optimised and the grid shows
// segment 1.
void ImportRVXfile(TForm2& form, Dialogs& dialogs);

// Asks for the export file with SaveDialog2 (preset to the session's folder
// and name with ".csv") and writes the session there.
void ExportSesAsCSV(TForm2& form, Dialogs& dialogs);

}  // namespace ovrel
