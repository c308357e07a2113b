#pragma once
// The editor's grid view. Its headers are fixed cells, the segment numbers
// and the parameter captions: a click on them selects nothing. It scrolls by
// whole columns, also at the far end, so the leftmost column shown is always
// a whole one (never a slice of a segment scrolled out of view).

#include <QTableView>

namespace ovrel {

class SegmentGridView : public QTableView {
  Q_OBJECT
 public:
  explicit SegmentGridView(QWidget* parent = nullptr);

 protected:
  void scrollContentsBy(int dx, int dy) override;
  void updateGeometries() override;

 private:
  // Puts the first column shown at the viewport's left edge.
  void AlignFirstColumn();
};

}  // namespace ovrel
