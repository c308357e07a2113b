// The editor's Import... and Export...: the schedules of other beat
// generators (.sbg, .gnaural).
#include <algorithm>

#include "editor/SessionEditorWindow.h"

namespace ovrel {

void SessionEditorWindow::onImportTriggered() {
  if (document_->Modified()) {
    const MsgResult answer =
        AskToSave(QStringLiteral("Session has been modified. Save it before importing?"));
    if (answer == MsgResult::Cancel) return;
    // The import replaces the session: a save that was cancelled or failed
    // ends the command.
    if (answer == MsgResult::Yes && Save() != SaveOutcome::Saved) return;
  }
  scheduleImportDialog_.FileName.clear();
  if (const std::optional<QString> chosen = dialogs_.OpenFile(scheduleImportDialog_))
    ImportSchedule(*chosen);
}

std::optional<ImportOptions> SessionEditorWindow::AskImportOptions(const QString& fileName) {
  ImportOptions options;
  if (!FormatFileEndsOpen(fileName.toStdString(), {FormatRole::Schedule})) return options;
  NumberRequest request;
  request.Label = QStringLiteral(
      "The schedule's last tone-set plays on with no end.\n"
      "How many minutes of it should the session hold?");
  request.Value = kDefaultOpenEndMinutes;
  request.Minimum = 1;
  request.Maximum = kMaxOpenEndMinutes;
  const std::optional<int> minutes = dialogs_.AskNumber(request);
  if (!minutes) return std::nullopt;
  options.OpenEndMinutes = *minutes;
  return options;
}

void SessionEditorWindow::ImportSchedule(const QString& fileName) {
  const std::optional<ImportOptions> options = AskImportOptions(fileName);
  if (!options) return;
  std::vector<std::string> changes;
  bool imported = false;
  Record([&] {
    const ExchangeRead r = document_->ImportSchedule(fileName, *options);
    if (!r) {
      dialogs_.Message({kAppTitle, QStringLiteral("The schedule cannot be imported."),
                        MsgIcon::Error, MsgButtons::Ok, QString::fromStdString(r.Error())});
      return;
    }
    imported = true;
    changes = r->Changes;
    RefreshAll(1);
  });
  if (!imported) return;
  ShowModified();
  segmentGrid_->setFocus();
  if (changes.empty()) return;
  QString list;
  for (const std::string& c : changes) list += QString::fromStdString(c) + QLatin1Char('\n');
  list.chop(1);
  dialogs_.Message({kAppTitle,
                    QStringLiteral("The session differs from the schedule in %1 place%2:")
                        .arg(changes.size())
                        .arg(changes.size() == 1 ? QString() : QStringLiteral("s")),
                    MsgIcon::Information, MsgButtons::Ok, list});
}

void SessionEditorWindow::onExportTriggered() {
  scheduleExportDialog_.FileName = document_->ScheduleFileName();
  const std::optional<QString> chosen = dialogs_.SaveFile(scheduleExportDialog_);
  if (!chosen) return;
  const std::vector<const FileFormat*> schedules = WritableFormats({FormatRole::Schedule});
  if (std::ranges::count(schedules, FileFormatOf(chosen->toStdString())) == 0) {
    dialogs_.ShowError(
        QStringLiteral("Export writes .sbg and .gnaural files; choose a name "
                       "ending in one of them."));
    return;
  }
  if (const FileWriteResult w = document_->ExportSchedule(*chosen); !w) {
    dialogs_.ShowError(QString::fromStdString(w.Error()));
    return;
  }
  for (int32_t k = 1; k <= St().Ses.SegCount; ++k) {
    if (St().Ses[k].Mode == kImportedMode) continue;
    dialogs_.Message({kAppTitle,
                      QStringLiteral("The schedule keeps the frequencies, pitches and times; "
                                     "the segments' modes are not part of it."),
                      MsgIcon::Information, MsgButtons::Ok,
                      QStringLiteral("Imported again, every segment has mode IN.")});
    return;
  }
}

}  // namespace ovrel
