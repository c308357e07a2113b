#include "editor/ImportExport.h"

#include "editor/SessionEditorWindow.h"
#include "session/CsvExport.h"
#include "session/LegacyImport.h"
#include "session/SesOptimize.h"

namespace ovrel {

void ImportRVXfile(SessionEditorWindow& form, Dialogs& dialogs) {
  SessionEditState& st = form.SesState();
  if (st.SesModified) {
    const MsgResult answer = dialogs.question(
        QStringLiteral("Session has been modified. Save it before importing RVX file?"));
    if (answer == MsgResult::Cancel) return;
    if (answer == MsgResult::Yes) form.Save();  // the import goes on whatever the outcome
  }
  form.importDialog.fileName.clear();
  if (const std::optional<QString> chosen = dialogs.openFile(form.importDialog)) {
    const RvxImportOutcome r = ImportRvxFile(st, chosen->toStdString());
    if (!r.Imported) {
      dialogs.message({kAppTitle, QString::fromStdString(r.Error), MsgIcon::Error, MsgButtons::Ok,
                       QString::fromStdString(r.Detail)});
      return;
    }
    if (!r.Warning.empty()) dialogs.error(QString::fromStdString(r.Warning));
    form.SetCaption();
    // The session is no longer tied to a file: Save asks for a name and
    // proposes the imported one.
    form.ProposedSaveName = QString::fromStdString(st.SesName) + QStringLiteral(".svs");
  } else {
    SesOptimize(st);
  }
  form.RefreshAll(1);
}

void ExportSesAsCSV(SessionEditorWindow& form, Dialogs& dialogs) {
  const SessionEditState& st = form.SesState();
  form.exportDialog.fileName =
      QString::fromStdString(CsvExportFileName(st.SesFileName, st.SesName));
  const std::optional<QString> chosen = dialogs.saveFile(form.exportDialog);
  if (!chosen) return;
  if (const FileWriteResult w = ExportSesAsCSV(st.Ses, st.SesName, chosen->toStdString()); !w)
    dialogs.error(QString::fromStdString(w.error));
}

}  // namespace ovrel
