// The editor's session file commands: New, Open, Save and Save As, and the
// legacy import and the CSV export.
#include <QFileInfo>

#include "editor/SessionEditorWindow.h"

namespace ovrel {

namespace {

const QString kSessionFilter = QStringLiteral("Sorvani Pro session (*.svs)|*.svs");

}  // namespace

void SessionEditorWindow::NewSession() {
  document_->MakeNew();
  model_->RefreshAll();
  MoveCursor(1, CurRow());
  ShowTimes(1);
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::Save() {
  return St().SesFileName.empty() ? SaveAs() : SaveToFile();
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::SaveAs() {
  FileDialogRequest saveAsDialog;
  saveAsDialog.title = QStringLiteral("Save session as");
  saveAsDialog.filter = kSessionFilter;
  saveAsDialog.defaultExt = QStringLiteral("svs");
  saveAsDialog.initialDir = folders_.SessionsFolder();
  saveAsDialog.fileName = document_->ProposedSaveName();
  const std::optional<QString> chosen = dialogs_.saveFile(saveAsDialog);
  if (!chosen) return SaveOutcome::Cancelled;
  document_->SetFile(*chosen);
  return SaveToFile();
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::SaveToFile() {
  if (const std::string error = document_->Save(); !error.empty()) {
    ShowError(error);
    return SaveOutcome::Failed;
  }
  return SaveOutcome::Saved;
}

void SessionEditorWindow::OpenSession() {
  if (!SaveBeforeOpening()) return;
  FileDialogRequest openDialog;
  openDialog.filter = kSessionFilter;
  openDialog.initialDir = folders_.SessionsFolder();
  const std::optional<QString> chosen = dialogs_.openFile(openDialog);
  if (!chosen) return;
  OpenChosenFile(*chosen);
}

void SessionEditorWindow::OpenSessionFile(const QString& fileName) {
  if (SaveBeforeOpening()) OpenChosenFile(fileName);
}

void SessionEditorWindow::OpenChosenFile(const QString& chosen) {
  if (QFileInfo(chosen).suffix().toLower() != QLatin1String("svs")) {
    dialogs_.error(QStringLiteral("Unsupported session file format"));
    return;
  }
  OpenFile(chosen);
}

bool SessionEditorWindow::SaveBeforeOpening() {
  if (document_->Modified()) {
    switch (dialogs_.question(QStringLiteral("Session has been modified. Save it?"))) {
      case MsgResult::Yes:
        // Goes on also when the save dialog was cancelled; a failed write
        // ends the command.
        if (Save() == SaveOutcome::Failed) return false;
        break;
      case MsgResult::No:
        break;
      default:
        return false;
    }
  }
  return true;
}

bool SessionEditorWindow::OpenFile(const QString& fileName) {
  if (const std::string error = document_->Open(fileName); !error.empty()) {
    ShowError(error);
    return false;
  }
  RefreshAll(1);
  return true;
}

void SessionEditorWindow::onImportRvxTriggered() {
  Record([this] {
    if (document_->Modified()) {
      const MsgResult answer = dialogs_.question(
          QStringLiteral("Session has been modified. Save it before importing RVX file?"));
      if (answer == MsgResult::Cancel) return;
      if (answer == MsgResult::Yes) Save();  // the import goes on whatever the outcome
    }
    importDialog_.fileName.clear();
    if (const std::optional<QString> chosen = dialogs_.openFile(importDialog_)) {
      const RvxImportOutcome r = document_->ImportRvx(*chosen);
      if (!r.Imported) {
        dialogs_.message({kAppTitle, QString::fromStdString(r.Error), MsgIcon::Error,
                          MsgButtons::Ok, QString::fromStdString(r.Detail)});
        return;
      }
      if (!r.Warning.empty()) dialogs_.error(QString::fromStdString(r.Warning));
    } else {
      document_->Optimize();
    }
    RefreshAll(1);
  });
}

void SessionEditorWindow::onExportCsvTriggered() {
  exportDialog_.fileName = document_->CsvFileName();
  const std::optional<QString> chosen = dialogs_.saveFile(exportDialog_);
  if (!chosen) return;
  if (const FileWriteResult w = document_->ExportCsv(*chosen); !w)
    dialogs_.error(QString::fromStdString(w.error));
}

}  // namespace ovrel
