// The editor's session file commands: New, Open, Save and Save As, and the
// legacy import and the CSV export.
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include "editor/SessionEditorWindow.h"

namespace ovrel {

namespace {

QString SessionFilter() {
  return QString::fromStdString(DialogFilter(WritableFormats({FormatRole::SessionFile})));
}

// Open reads session files, and imports the schedules of other beat
// generators.
QString OpenFilter() {
  return QString::fromStdString(DialogFilter(ReadableFormats({FormatRole::SessionFile}))) +
         QLatin1Char('|') + kScheduleFilter;
}

}  // namespace

void SessionEditorWindow::NewSession() {
  document_->MakeNew();
  model_->RefreshAll();
  MoveCursor(1, CurRow());
  ShowTimes(1);
  ShowModified();
  segmentGrid_->setFocus();
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::Save() {
  return St().SesFileName.empty() ? SaveAs() : SaveToFile();
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::SaveAs() {
  FileDialogRequest saveAsDialog;
  saveAsDialog.Title = QStringLiteral("Save session as");
  saveAsDialog.Filter = SessionFilter();
  saveAsDialog.DefaultExt = QStringLiteral("svs");
  // The folder last used, or the sessions folder; the session's own name
  // when it has one.
  saveAsDialog.InitialDir = userSettings_.SaveFolder(folders_.SessionsFolder());
  saveAsDialog.FileName = document_->ProposedSaveName();
  if (saveAsDialog.FileName.isEmpty() && !St().SesFileName.empty())
    saveAsDialog.FileName = QFileInfo(QString::fromStdString(St().SesFileName)).fileName();
  const std::optional<QString> chosen = dialogs_.SaveFile(saveAsDialog);
  if (!chosen) return SaveOutcome::Cancelled;
  document_->SetFile(*chosen);
  return SaveToFile();
}

SessionEditorWindow::SaveOutcome SessionEditorWindow::SaveToFile() {
  if (const std::string error = document_->Save(); !error.empty()) {
    ShowError(error);
    return SaveOutcome::Failed;
  }
  ShowModified();
  RememberFile(QString::fromStdString(St().SesFileName));
  return SaveOutcome::Saved;
}

void SessionEditorWindow::RememberFile(const QString& fileName) {
  userSettings_.AddRecentFile(fileName);
  userSettings_.SetLastFolderOf(fileName);
}

MsgResult SessionEditorWindow::AskToSave(const QString& question) {
  const QString file = QString::fromStdString(St().SesFileName);
  MessageRequest request{kAppTitle, question, MsgIcon::Question, MsgButtons::YesNoCancel, {}};
  request.Detail = file.isEmpty() ? QStringLiteral("The session has not been saved to a file yet.")
                                  : QDir::toNativeSeparators(file);
  return dialogs_.Message(request);
}

void SessionEditorWindow::onRecentFilesAboutToShow() {
  recentFilesMenu_->clear();
  const QStringList files = userSettings_.RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const QString& file = files[i];
    // Numbered for the keyboard; the full path is the status tip.
    QAction* item = recentFilesMenu_->addAction(
        QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(file).fileName()));
    item->setData(file);
    item->setStatusTip(QDir::toNativeSeparators(file));
    item->setToolTip(QDir::toNativeSeparators(file));
    connect(item, &QAction::triggered, this, [this, file] { OpenSessionFile(file); });
  }
  if (files.isEmpty()) recentFilesMenu_->addAction(QStringLiteral("(none)"))->setEnabled(false);
}

void SessionEditorWindow::OpenSession() {
  if (!SaveBeforeOpening()) return;
  FileDialogRequest openDialog;
  openDialog.Filter = OpenFilter();
  openDialog.InitialDir = folders_.SessionsFolder();
  const std::optional<QString> chosen = dialogs_.OpenFile(openDialog);
  if (!chosen) return;
  OpenChosenFile(*chosen);
}

void SessionEditorWindow::OpenSessionFile(const QString& fileName) {
  if (SaveBeforeOpening()) OpenChosenFile(fileName);
}

void SessionEditorWindow::OpenChosenFile(const QString& chosen) {
  const FileFormat* format = FileFormatOf(chosen.toStdString());
  if (format && format->Role == FormatRole::Schedule && format->Read) {
    ImportSchedule(chosen);
    return;
  }
  if (!format || format->Role != FormatRole::SessionFile) {
    dialogs_.ShowError(QStringLiteral("Unsupported session file format"));
    return;
  }
  OpenFile(chosen);
}

bool SessionEditorWindow::SaveBeforeOpening() {
  if (document_->Modified()) {
    switch (AskToSave(QStringLiteral("Session has been modified. Save it?"))) {
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
  ShowModified();
  RememberFile(fileName);
  segmentGrid_->setFocus();
  return true;
}

void SessionEditorWindow::onImportRvxTriggered() {
  Record([this] {
    if (document_->Modified()) {
      const MsgResult answer = AskToSave(
          QStringLiteral("Session has been modified. Save it before importing RVX file?"));
      if (answer == MsgResult::Cancel) return;
      // The import replaces the session: it goes on only when the session
      // really was saved.
      if (answer == MsgResult::Yes && Save() != SaveOutcome::Saved) return;
    }
    importDialog_.FileName.clear();
    if (const std::optional<QString> chosen = dialogs_.OpenFile(importDialog_)) {
      const RvxImportOutcome r = document_->ImportRvx(*chosen);
      if (!r) {
        dialogs_.Message({kAppTitle, QString::fromStdString(RvxImportHeadline(r.Failed())),
                          MsgIcon::Error, MsgButtons::Ok,
                          QString::fromStdString(RvxImportDetail(r.Failed()))});
        return;
      }
      if (!r->Warning.empty()) dialogs_.ShowError(QString::fromStdString(r->Warning));
    } else {
      document_->Optimize();
    }
    RefreshAll(1);
  });
}

void SessionEditorWindow::onExportCsvTriggered() {
  exportDialog_.FileName = document_->CsvFileName();
  const std::optional<QString> chosen = dialogs_.SaveFile(exportDialog_);
  if (!chosen) return;
  if (const FileWriteResult w = document_->ExportCsv(*chosen); !w)
    dialogs_.ShowError(QString::fromStdString(w.Error()));
}

}  // namespace ovrel
