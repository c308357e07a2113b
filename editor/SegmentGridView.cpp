#include "editor/SegmentGridView.h"

#include <QHeaderView>
#include <QScrollBar>

namespace ovrel {

SegmentGridView::SegmentGridView(QWidget* parent) : QTableView(parent) {
  setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
  for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
    header->setSectionsClickable(false);
    // The table selects a whole row or column on a press or a drag over a
    // header section.
    disconnect(header, &QHeaderView::sectionPressed, this, nullptr);
    disconnect(header, &QHeaderView::sectionEntered, this, nullptr);
  }
}

void SegmentGridView::scrollContentsBy(int dx, int dy) {
  QTableView::scrollContentsBy(dx, dy);
  if (dx != 0) AlignFirstColumn();
}

void SegmentGridView::updateGeometries() {
  QTableView::updateGeometries();
  AlignFirstColumn();
}

void SegmentGridView::AlignFirstColumn() {
  // At the scroll bar's end the table lines the last column up with the
  // right edge, which leaves a cut column at the left; the scroll range
  // already ends where the last columns fit whole, so start there instead.
  QHeaderView* header = horizontalHeader();
  const int column = horizontalScrollBar()->value();
  if (column >= header->count()) return;
  const int wanted = header->sectionPosition(header->logicalIndex(column));
  if (header->offset() == wanted) return;
  header->setOffset(wanted);
  viewport()->update();
}

}  // namespace ovrel
