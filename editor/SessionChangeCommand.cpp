#include "editor/SessionChangeCommand.h"

#include <algorithm>

namespace ovrel {

bool EditorSnapshot::SameContent(const EditorSnapshot& other) const {
  const auto used = [](const Session& s) {
    return s.SegData.begin() + 1 + std::clamp(s.SegCount, 0, MaxSegCount);
  };
  return Ses.SegCount == other.Ses.SegCount &&
         std::equal(Ses.SegData.begin() + 1, used(Ses), other.Ses.SegData.begin() + 1) &&
         SesFileName == other.SesFileName && SesName == other.SesName &&
         ProposedSaveName == other.ProposedSaveName && ShownName == other.ShownName;
}

SessionChangeCommand::SessionChangeCommand(EditorSnapshot before, EditorSnapshot after, int hold,
                                           Restore restore)
    : before_(std::move(before)),
      after_(std::move(after)),
      hold_(hold),
      restore_(std::move(restore)) {}

void SessionChangeCommand::undo() {
  restore_(before_);
}

void SessionChangeCommand::redo() {
  if (std::exchange(done_, false)) return;
  restore_(after_);
}

int SessionChangeCommand::id() const {
  // Only changes from a hold merge; they all share one id.
  return hold_ != 0 ? 1 : -1;
}

bool SessionChangeCommand::mergeWith(const QUndoCommand* other) {
  const auto* next = static_cast<const SessionChangeCommand*>(other);
  if (next->hold_ != hold_) return false;
  after_ = next->after_;
  // A hold that went up and back down again leaves no step behind.
  setObsolete(before_.SameContent(after_));
  return true;
}

}  // namespace ovrel
