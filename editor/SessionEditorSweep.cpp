// The editor's "Insert Sweep..." item: its dialog, and the insertion of the
// sweep's segments before the cursor.
#include "editor/SessionEditorWindow.h"
#include "editor/SweepDialog.h"
#include "session/SesTime.h"
#include "session/Sweep.h"

namespace ovrel {

void SessionEditorWindow::onInsertSweepTriggered() {
  // Window-modal and not waited for: the segments go in when OK is clicked.
  auto* dialog = new SweepDialog(MaxSegCount - St().Ses.SegCount, SesTotalSeconds(St().Ses), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this,
          [this, dialog] { InsertSweep(dialog->Result().Segments); });
  dialog->open();
}

void SessionEditorWindow::InsertSweep(const std::vector<Segment>& segs) {
  const int first = CurCol();
  const int row = CurRow();
  Record([&] {
    const SegOpResult r = InsertSegments(St().Ses, first, segs);
    Apply(r);
    if (!r || segs.empty()) return;
    // The new segments are selected in the cursor's row, the cursor on the
    // first of them.
    const auto last = first + static_cast<int>(segs.size()) - 1;
    segmentGrid_->selectionModel()->select(
        QItemSelection(model_->index(row - 1, first - 1), model_->index(row - 1, last - 1)),
        QItemSelectionModel::ClearAndSelect);
  });
}

}  // namespace ovrel
