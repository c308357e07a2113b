#pragma once
// The session the editor works on, apart from the window that shows it: the
// session with its clipboard, modified flag and names, the history of its
// changes for Undo and Redo, and reading, writing, importing and exporting
// it. It shows and asks nothing; the editor window does both.

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "editor/SessionChangeCommand.h"
#include "editor/SessionEditState.h"
#include "fileio/AtomicFile.h"
#include "format/ExchangeFormat.h"
#include "format/LegacyImport.h"
#include "session/SesOptimize.h"

class QUndoStack;

namespace ovrel {

class SessionDocument : public QObject {
  Q_OBJECT
 public:
  // A session of one default segment, without a name.
  explicit SessionDocument(QObject* parent = nullptr);

  SessionEditState& State() { return st_; }
  const SessionEditState& State() const { return st_; }
  bool Modified() const { return st_.SesModified; }
  void SetModified(bool modified) { st_.SesModified = modified; }

  // The editor's caption: "<product> - Session Editor - [<name>]". The name
  // is the one ShowName last showed: a new session shows none.
  QString Caption() const;
  // Shows the session's name in the caption (after it was given one).
  void ShowName();

  // The name Save As proposes: set after an import, which leaves the
  // session without a file; cleared when the session gets a file or is
  // made new.
  const QString& ProposedSaveName() const { return proposedSaveName_; }

  // Every change of the session since it was opened; its clean index is
  // the state last saved (or made new).
  QUndoStack* UndoStack() const { return undoStack_; }

  // New: one default segment. The name stays, but is not shown.
  void MakeNew();
  // Reads fileName; on success it becomes the session with its file and
  // name, and its history starts anew. On failure the error text, and
  // nothing changed.
  std::string Open(const QString& fileName);
  // Ties the session to fileName (Save As): its file and its name.
  void SetFile(const QString& fileName);
  // Writes the session to its file; on success it counts as saved. The
  // error text otherwise.
  std::string Save();
  // Imports the legacy file at fileName into the session; on success the
  // session has no file and Save As proposes the imported name.
  RvxImportOutcome ImportRvx(const QString& fileName);
  // Imports a schedule of another beat generator (.sbg, .gnaural) from
  // fileName, an open end lasting as options say; on success the session
  // has no file and counts as modified, and Save As proposes the imported
  // name. The result lists every change the import made. On failure
  // nothing changed.
  ExchangeRead ImportSchedule(const QString& fileName, const ImportOptions& options = {});
  // Writes the session to fileName as .sbg or .gnaural, by its extension.
  FileWriteResult ExportSchedule(const QString& fileName) const;
  // The name the schedule export proposes: the session's folder and name
  // with ".sbg".
  QString ScheduleFileName() const;
  // Writes the session as CSV to fileName.
  FileWriteResult ExportCsv(const QString& fileName) const;
  // The name the CSV export proposes: the session's folder and name.
  QString CsvFileName() const;
  // Merges runs of equal segments.
  OptimizeResult Optimize();

  // Runs change as one undoable step; hold is the key or button hold it
  // belongs to (0: none). A change that leaves the session as it was adds
  // no step.
  void Record(const std::function<void()>& change, int hold = 0);
  // Undo (or Redo): the modified flag then says whether the session differs
  // from the state last saved.
  void UndoStep(bool redo);
  // The session was replaced as a whole: nothing before it can be undone.
  void StartHistory();
  // The current state counts as saved.
  void MarkClean();

  // The column of the editor's cursor, kept with each step so that Undo and
  // Redo show where the change was.
  std::function<int()> CursorColumn;

 signals:
  // The session changed: an edit, Undo, Redo, New, Open or an import.
  void Changed();
  void CaptionChanged(const QString& caption);
  // Undo or Redo put back an earlier state, made with the cursor at col.
  void Restored(int col);

 private:
  EditorSnapshot TakeSnapshot() const;
  void RestoreSnapshot(const EditorSnapshot& snapshot);
  void SetShownName(const QString& name);

  SessionEditState st_;
  QString shownName_;
  QString proposedSaveName_;
  QUndoStack* undoStack_;
};

}  // namespace ovrel
