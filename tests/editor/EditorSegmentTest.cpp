#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

#include "support/FindChild.h"
#include "tests/editor/EditorFixture.h"

namespace ovrel {
namespace {

TEST_F(EditorTest, ValueKeysStepEveryColumnOfTheSelection) {
  makeSession(4);
  // Selected from column 3 back to column 1 in the Pitch row: the cursor is
  // on column 1, the selection spans 1..3.
  clickCell(3, RowPitch);
  clickCell(1, RowPitch, Qt::ShiftModifier);
  key(Qt::Key_Q);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{102, 103, 104, 104}));
  EXPECT_TRUE(st().SesModified);
  EXPECT_EQ(cell(3, RowPitch), "104");
  key(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{112, 113, 114, 104}));
  key(Qt::Key_A);
  key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 102, 103, 104}));

  // In the Time row the first field ends on the rightmost segment's start.
  clickCell(3, RowTime);
  clickCell(1, RowTime, Qt::ShiftModifier);
  key(Qt::Key_Q);
  EXPECT_EQ(cell(2, RowTime), "1:15");
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->text(), "Segment 3 start time: 2:30.0");
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 4:45.0");
  EXPECT_EQ(dialogs_.Calls().size(), 0u);
}

TEST_F(EditorTest, SelectingACellShowsItsStartTime) {
  makeSession(3);
  clickCell(3, RowMode);
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->text(), "Segment 3 start time: 2:00.0");
  key(Qt::Key_Left);
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->text(), "Segment 2 start time: 1:00.0");
  EXPECT_FALSE(st().SesModified);
}

TEST_F(EditorTest, DeleteWithEverythingSelected) {
  makeSession(4);
  clickCell(4, RowMode);
  clickCell(1, RowMode, Qt::ShiftModifier);  // cursor on the first column
  key(Qt::Key_Delete);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101}));
  EXPECT_EQ(grid()->model()->columnCount(), 1);

  makeSession(4);
  clickCell(1, RowMode);
  clickCell(4, RowMode, Qt::ShiftModifier);  // cursor on the last column
  Control<QAction>(*form_, "deleteAction")->trigger();
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{104}));
  EXPECT_EQ(grid()->currentIndex().column(), 0);
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->text(), "Segment 1 start time: 0:00.0");
  EXPECT_TRUE(st().SesModified);
}

TEST_F(EditorTest, DeleteOfTheOnlySegmentDoesNothing) {
  key(Qt::Key_Delete);
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_FALSE(st().SesModified);
}

TEST_F(EditorTest, PasteOfEmptyClipboardSetsModified) {
  makeSession(2);
  key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(st().SesModified);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 102}));
}

TEST_F(EditorTest, CopyPasteAndCutThroughTheKeys) {
  makeSession(3);
  clickCell(2, RowTime);
  clickCell(3, RowTime, Qt::ShiftModifier);
  key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_FALSE(st().SesModified);
  clickCell(1, RowTime);
  key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{102, 103, 101, 102, 103}));
  EXPECT_EQ(grid()->model()->columnCount(), 5);
  EXPECT_EQ(grid()->model()->headerData(4, Qt::Horizontal).toString(), "5");
  clickCell(4, RowTime);
  clickCell(5, RowTime, Qt::ShiftModifier);
  key(Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{102, 103, 101}));
  EXPECT_EQ(st().Clipboard.Count, 2);
}

TEST_F(EditorTest, InsertAtColumnOneAndAddNew) {
  makeSession(2);
  clickCell(1, RowFreqEnd);
  key(Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{100, 101, 102}));
  EXPECT_EQ(grid()->currentIndex().column(), 0);
  EXPECT_EQ(cell(2, RowPitch), "101");
  key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(st().Ses.SegCount, 4);
  EXPECT_EQ(cell(4, RowTime), "1:00");
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 4:00.0");
}

TEST_F(EditorTest, SegmentLimitMessage) {
  makeSession(380);
  key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(st().Ses.SegCount, 380);
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Text, "Maximum number of segments in session is 380");
  EXPECT_EQ(dialogs_.Calls()[0].Message.Icon, MsgIcon::Error);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Caption, "Sorvani Ovrel");
  EXPECT_FALSE(st().SesModified);
}

// A held key under X11 repeats release and press pairs; once the window
// repaints between them, most come without the repeat flag.
void SendKey(QWidget* w, QEvent::Type type, Qt::Key k, Qt::KeyboardModifiers mods) {
  QKeyEvent e(type, k, mods, k == Qt::Key_Plus ? "+" : "-", false);
  QApplication::sendEvent(w, &e);
}

TEST_F(EditorTest, KeypadKeysStepOncePerReleaseAlsoWhenRepeatsAreUnflagged) {
  makeSession(1);
  clickCell(1, RowFreqStart);
  SendKey(grid(), QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier);
  for (int i = 0; i < 15; ++i) {
    SendKey(grid(), QEvent::KeyRelease, Qt::Key_Plus, Qt::KeypadModifier);
    QTest::qWait(2);  // the grid repaints between the pair
    SendKey(grid(), QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier);
    QTest::qWait(20);
  }
  EXPECT_EQ(st().Ses[1].FreqStart, 10);
  SendKey(grid(), QEvent::KeyRelease, Qt::Key_Plus, Qt::KeypadModifier);
  QTRY_COMPARE_WITH_TIMEOUT(st().Ses[1].FreqStart, 11, 2000);
  QTest::qWait(150);
  EXPECT_EQ(st().Ses[1].FreqStart, 11);
  // A held keypad key is one undo step too.
  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_EQ(st().Ses[1].FreqStart, 10);

  // Two taps in a row, even with Shift held, are two steps.
  QTest::keyClick(grid(), Qt::Key_Minus, Qt::KeypadModifier | Qt::ShiftModifier);
  QTest::qWait(100);
  QTest::keyClick(grid(), Qt::Key_Minus, Qt::KeypadModifier);
  QTRY_COMPARE_WITH_TIMEOUT(st().Ses[1].FreqStart, 8, 2000);
  // The plus and minus keys of the main keyboard do nothing.
  QTest::keyClick(grid(), Qt::Key_Plus);
  QTest::qWait(100);
  EXPECT_EQ(st().Ses[1].FreqStart, 8);
}

TEST_F(EditorTest, RepeatButtonsStepTheSelection) {
  makeSession(2);
  clickCell(2, RowMode);
  QTest::mouseClick(Control<RepeatButton>(*form_, "valueUpButton"), Qt::LeftButton);
  QTest::mouseClick(Control<RepeatButton>(*form_, "valueUpButton"), Qt::LeftButton);
  EXPECT_EQ(st().Ses[2].Mode, 3);
  QTest::mouseClick(Control<RepeatButton>(*form_, "valueDownButton"), Qt::LeftButton);
  EXPECT_EQ(st().Ses[2].Mode, 2);
  EXPECT_EQ(cell(2, RowMode), "FB");
}

TEST_F(EditorTest, OptimizeLeavesTheCursorOnAnExistingColumn) {
  makeSession(3);
  for (int k = 1; k <= 3; ++k) st().Ses[k].Pitch = 100;
  clickCell(3, RowPitch);
  Control<QAction>(*form_, "optimizeAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_EQ(grid()->currentIndex().column(), 0);
  EXPECT_EQ(grid()->currentIndex().row(), RowPitch - 1);
  EXPECT_EQ(cell(1, RowTime), "3:00");
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 3:00.0");
  EXPECT_TRUE(st().SesModified);
}

TEST_F(EditorTest, HeaderCellsAreFixedAndSelectNothing) {
  makeSession(4);
  clickCell(2, RowMode);
  QHeaderView* captions = grid()->verticalHeader();
  QHeaderView* numbers = grid()->horizontalHeader();
  const int pitchRow = RowPitch - 1;  // view rows start at Time
  QTest::mouseClick(captions->viewport(), Qt::LeftButton, {},
                    QPoint(10, captions->sectionViewportPosition(pitchRow) + 5));
  QTest::mouseClick(numbers->viewport(), Qt::LeftButton, {},
                    QPoint(numbers->sectionViewportPosition(2) + 5, 5));
  // A drag along the numbers selects nothing either.
  QTest::mousePress(numbers->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseMove(numbers->viewport(), QPoint(numbers->sectionViewportPosition(3) + 5, 5));
  QTest::mouseRelease(numbers->viewport(), Qt::LeftButton, {},
                      QPoint(numbers->sectionViewportPosition(3) + 5, 5));
  EXPECT_EQ(grid()->currentIndex().column(), 1);
  EXPECT_EQ(grid()->selectionModel()->selectedIndexes().size(), 1);
  key(Qt::Key_Delete);  // deletes the one selected segment, not all but one
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 103, 104}));
}

TEST_F(EditorTest, ScrollingShowsOnlyWholeColumnsAtTheLeft) {
  makeSession(40);
  QScrollBar* bar = grid()->horizontalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  for (int value : {1, bar->maximum() - 1, bar->maximum()}) {
    SCOPED_TRACE(value);
    bar->setValue(value);
    const int first = grid()->columnAt(0);
    EXPECT_EQ(first, value);
    EXPECT_EQ(grid()->columnViewportPosition(first), 0);
    EXPECT_EQ(grid()->horizontalHeader()->sectionViewportPosition(first), 0);
  }
  // At the end the last segment is whole, and a click at the left edge
  // picks the segment whose number is shown there.
  const int last = grid()->model()->columnCount() - 1;
  EXPECT_LE(grid()->columnViewportPosition(last) + grid()->columnWidth(last),
            grid()->viewport()->width());
  QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, QPoint(2, 5));
  EXPECT_EQ(grid()->currentIndex().column(), bar->maximum());
  // Moving the cursor to the last column keeps whole columns too.
  clickCell(1, RowMode);
  key(Qt::Key_End);
  EXPECT_EQ(grid()->columnViewportPosition(grid()->columnAt(0)), 0);
  EXPECT_EQ(grid()->currentIndex().column(), last);
}

}  // namespace
}  // namespace ovrel
