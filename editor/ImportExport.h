#pragma once
// The session editor's two hidden file commands with their dialogs and
// messages: the legacy import (ImportRVXfile) and the CSV export
// (ExportSesAsCSV). The editor's menu handlers call them with the window
// and its dialogs.

#include "ui/Dialogs.h"

namespace ovrel {

class SessionEditorWindow;

// Offers to save a modified session, asks for a legacy file with
// importDialog and imports it into the editor's session. A file that cannot
// be imported is reported and changes nothing. After an import, and after
// the dialog was cancelled, the session is optimised and the grid shows
// segment 1.
void ImportRVXfile(SessionEditorWindow& form, Dialogs& dialogs);

// Asks for the export file with exportDialog (preset to the session's folder
// and name with ".csv") and writes the session there.
void ExportSesAsCSV(SessionEditorWindow& form, Dialogs& dialogs);

}  // namespace ovrel
