// The editor's session file commands: New, Open, Save and Save As.
#include <QFileInfo>
#include <QUndoStack>

#include "editor/SessionEditorWindow.h"
#include "session/SessionFile.h"

namespace ovrel {

namespace {

const QString kSessionFilter = QStringLiteral("Sorvani Pro session (*.svs)|*.svs");

}  // namespace

void SessionEditorWindow::NewProc() {
  ovrel::NewProc(st_);
  ProposedSaveName.clear();
  model_->RefreshAll();
  MoveCursor(1, CurRow());
  // The name stays, but a new session is shown without one.
  setWindowTitle(QStringLiteral("Sorvani Ovrelware 1.5 - Session Editor - []"));
  ShowSessionTimes(1);
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::Save() {
  return st_.SesFileName.empty() ? SaveAsProc() : SaveProc();
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::SaveAsProc() {
  FileDialogRequest saveAsDialog;
  saveAsDialog.title = QStringLiteral("Save session as");
  saveAsDialog.filter = kSessionFilter;
  saveAsDialog.defaultExt = QStringLiteral("svs");
  saveAsDialog.initialDir = settings_.SessionsFolder;
  saveAsDialog.fileName = ProposedSaveName;
  const std::optional<QString> chosen = dialogs_.saveFile(saveAsDialog);
  if (!chosen) return SaveOutcome::Cancelled;
  st_.SesFileName = chosen->toStdString();
  ProposedSaveName.clear();
  st_.SesName = SesNameFromFileName(st_.SesFileName);
  SetCaption();
  return SaveProc();
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::SaveProc() {
  const SaveResult r = ovrel::SaveProc(st_);
  if (!r) {
    ShowError(r.error);
    return SaveOutcome::Failed;
  }
  undoStack_->setClean();
  return SaveOutcome::Saved;
}

void SessionEditorWindow::OpenSession() {
  if (!SaveBeforeOpening()) return;
  FileDialogRequest openDialog;
  openDialog.filter = kSessionFilter;
  openDialog.initialDir = settings_.SessionsFolder;
  openDialog.fileName.clear();
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
  OpenSessionDirectly(chosen);
}

bool SessionEditorWindow::SaveBeforeOpening() {
  if (st_.SesModified) {
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

bool SessionEditorWindow::OpenSessionDirectly(const QString& fileName) {
  const SessionReadResult r = ReadSessionFile(fileName.toStdString());
  if (!r) {
    ShowError(r.error);
    return false;
  }
  st_.SesFileName = fileName.toStdString();
  ProposedSaveName.clear();
  st_.SesName = SesNameFromFileName(st_.SesFileName);
  SetCaption();
  st_.Ses = *r.session;
  RefreshAll(1);
  StartHistory();
  return true;
}

}  // namespace ovrel
