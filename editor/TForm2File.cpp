// The editor's session file commands: New, Open, Save and Save As.
#include <QFileInfo>

#include "editor/TForm2.h"
#include "session/SessionFile.h"

namespace ovrel {

namespace {

const QString kSessionFilter = QStringLiteral("Sorvani Pro session (*.svs)|*.svs");

}  // namespace

void TForm2::NewProc() {
  ovrel::NewProc(st_);
  ProposedSaveName.clear();
  model_->RefreshAll();
  MoveCursor(1, CurRow());
  // The name stays, but a new session is shown without one.
  setWindowTitle(QStringLiteral("Sorvani Ovrelware 1.5 - Session Editor - []"));
  SesTimeComp(1);
}

TForm2::SaveOutcome TForm2::Save() {
  return st_.SesFileName.empty() ? SaveAsProc() : SaveProc();
}

TForm2::SaveOutcome TForm2::SaveAsProc() {
  FileDialogRequest SaveDialog1;
  SaveDialog1.title = QStringLiteral("Save session as");
  SaveDialog1.filter = kSessionFilter;
  SaveDialog1.defaultExt = QStringLiteral("svs");
  SaveDialog1.initialDir = settings_.SessionsFolder;
  SaveDialog1.fileName = ProposedSaveName;
  const std::optional<QString> chosen = dialogs_.saveFile(SaveDialog1);
  if (!chosen) return SaveOutcome::Cancelled;
  st_.SesFileName = chosen->toStdString();
  ProposedSaveName.clear();
  st_.SesName = SesNameFromFileName(st_.SesFileName);
  SetCaption();
  return SaveProc();
}

TForm2::SaveOutcome TForm2::SaveProc() {
  const SaveResult r = ovrel::SaveProc(st_);
  if (!r) {
    ShowError(r.error);
    return SaveOutcome::Failed;
  }
  return SaveOutcome::Saved;
}

void TForm2::OpenSession() {
  if (st_.SesModified) {
    switch (dialogs_.question(QStringLiteral("Session has been modified. Save it?"))) {
      case MsgResult::Yes:
        // Goes on also when the save dialog was cancelled; a failed write
        // ends the command.
        if (Save() == SaveOutcome::Failed) return;
        break;
      case MsgResult::No:
        break;
      default:
        return;
    }
  }
  FileDialogRequest OpenDialog1;
  OpenDialog1.filter = kSessionFilter;
  OpenDialog1.initialDir = settings_.SessionsFolder;
  OpenDialog1.fileName.clear();
  const std::optional<QString> chosen = dialogs_.openFile(OpenDialog1);
  if (!chosen) return;
  if (QFileInfo(*chosen).suffix().toLower() != QLatin1String("svs")) {
    dialogs_.error(QStringLiteral("Unsupported session file format"));
    return;
  }
  OpenSessionDirectly(*chosen);
}

bool TForm2::OpenSessionDirectly(const QString& fileName) {
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
  return true;
}

}  // namespace ovrel
