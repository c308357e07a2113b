#pragma once
// One undoable change of the editor's session: the editor's state before and
// after it. Value steps of one held key or button share a hold number and
// merge into one step, so a long hold is taken back with one Undo.

#include <QString>
#include <QUndoCommand>
#include <functional>
#include <string>

#include "session/Session.h"

namespace ovrel {

// What an Undo or Redo puts back: the session, the names that go with it,
// the name the caption shows and the cursor's column.
struct EditorSnapshot {
  Session Ses;
  std::string SesFileName;
  std::string SesName;
  QString ProposedSaveName;
  QString ShownName;  // the name the caption shows
  int CursorCol = 1;

  // Equal sessions, names and caption (the cursor does not count).
  bool SameContent(const EditorSnapshot& other) const;
};

class SessionChangeCommand : public QUndoCommand {
 public:
  using Restore = std::function<void(const EditorSnapshot&)>;
  // hold: the number of the key or button hold the change came from; 0 for
  // a change that never merges.
  SessionChangeCommand(EditorSnapshot before, EditorSnapshot after, int hold, Restore restore);

  void undo() override;
  void redo() override;
  int id() const override;
  bool mergeWith(const QUndoCommand* other) override;

 private:
  EditorSnapshot before_;
  EditorSnapshot after_;
  int hold_;
  Restore restore_;
  bool done_ = true;  // pushed after the change was made: the first redo has nothing to do
};

}  // namespace ovrel
