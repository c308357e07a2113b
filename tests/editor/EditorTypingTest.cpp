// Typing a value into a cell of the editor grid.
#include <QLineEdit>
#include <QUndoStack>

#include "tests/editor/EditorFixture.h"

namespace ovrel {
namespace {

class EditorTyping : public EditorTest {
 protected:
  // Types text into the cell at col, row (the grid's parameter rows 1..5)
  // and ends with key (Enter: take it; Escape: drop it).
  void TypeInto(int col, int row, const QString& text, Qt::Key end = Qt::Key_Return) {
    clickCell(col, row);
    Type(text);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_TRUE(qobject_cast<QLineEdit*>(editor)) << "no cell editor opened";
    QTest::keyClick(editor, end);
    QCoreApplication::processEvents();  // the editor commits after the key
  }
  // The first key opens the cell's editor, which takes the others.
  void Type(const QString& text) {
    QTest::keyClicks(grid(), text.left(1));
    QTest::keyClicks(QApplication::focusWidget(), text.mid(1));
  }
  QLabel* message() const { return Control<QLabel>(*form_, "cellMessage"); }
  int steps() const { return form_->Document().UndoStack()->count(); }
};

TEST_F(EditorTyping, ATypedValueSetsItsCellAsOneUndoStep) {
  struct Case {
    int Row;
    const char* Typed;
    const char* Shown;
    int32_t Value;
  };
  const Case cases[] = {
      {RowTime, "1:30", "1:30", 6},   {RowTime, "7", "1:45", 7}, {RowMode, "sa", "SA", 5},
      {RowFreqStart, "33", "33", 33}, {RowFreqEnd, "1", "1", 1}, {RowPitch, "400", "400", 400},
  };
  makeSession(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Typed);
    const Session before = st().Ses;
    const int stepsBefore = steps();
    TypeInto(2, c.Row, c.Typed);
    EXPECT_EQ(cell(2, c.Row), c.Shown);
    EXPECT_EQ(SegField(st().Ses[2], c.Row), c.Value);
    EXPECT_EQ(st().Ses[1], before[1]);  // only the cell typed into
    EXPECT_EQ(st().Ses[3], before[3]);
    EXPECT_TRUE(st().SesModified);
    EXPECT_EQ(steps(), stepsBefore + 1);
    EXPECT_EQ(QApplication::focusWidget(), grid());
    Control<QAction>(*form_, "undoAction")->trigger();
    EXPECT_EQ(st().Ses[2], before[2]);
    EXPECT_EQ(cell(2, c.Row), QString::fromStdString(SegCellText(before[2], 2, c.Row)));
    Control<QAction>(*form_, "redoAction")->trigger();
    EXPECT_EQ(SegField(st().Ses[2], c.Row), c.Value);
  }
  // A typed time shows in the time fields at once: 2:00 + 1:45 + 1:00.
  TypeInto(1, RowTime, "2:00");
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 4:45.0");
}

TEST_F(EditorTyping, StepKeysStillStepAndEscapeKeepsTheCell) {
  makeSession(1);
  clickCell(1, RowPitch);
  key(Qt::Key_Q);
  key(Qt::Key_Q, Qt::ControlModifier);
  key(Qt::Key_A);
  EXPECT_EQ(st().Ses[1].Pitch, 101 + 10);
  EXPECT_EQ(QApplication::focusWidget(), grid());  // no cell editor opened
  const int stepsBefore = steps();
  TypeInto(1, RowPitch, "300", Qt::Key_Escape);
  EXPECT_EQ(st().Ses[1].Pitch, 111);
  EXPECT_EQ(steps(), stepsBefore);
}

TEST_F(EditorTyping, AValueOutOfRangeIsRefusedBesideTheCell) {
  makeSession(2);
  const Session before = st().Ses;
  const int stepsBefore = steps();
  TypeInto(2, RowFreqStart, "49");
  // The editor stays open over the cell for a correction.
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->text(), "49");
  ASSERT_TRUE(message()->isVisible());
  EXPECT_EQ(message()->text(), "A frequency is a whole number from 1 to 48.");
  const QRect cellRect(grid()->viewport()->mapTo(
                           form_.get(), grid()->visualRect(grid()->model()->index(2, 1)).topLeft()),
                       grid()->visualRect(grid()->model()->index(2, 1)).size());
  EXPECT_FALSE(message()->geometry().intersects(cellRect));
  EXPECT_TRUE(form_->rect().contains(message()->geometry()));
  EXPECT_EQ(st().Ses[2], before[2]);
  EXPECT_FALSE(st().SesModified);
  EXPECT_EQ(steps(), stepsBefore);

  editor->selectAll();
  QTest::keyClicks(editor, "12");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(st().Ses[2].FreqStart, 12);
  EXPECT_FALSE(message()->isVisible());
  EXPECT_EQ(steps(), stepsBefore + 1);

  // Left for another cell with a refused text: the cell keeps its value.
  TypeInto(1, RowMode, "XY", Qt::Key_Escape);
  EXPECT_FALSE(message()->isVisible());
  clickCell(1, RowMode);
  Type("XY");
  clickCell(2, RowPitch);
  QCoreApplication::processEvents();
  EXPECT_EQ(st().Ses[1].Mode, before[1].Mode);
  EXPECT_TRUE(message()->isVisible());
  EXPECT_EQ(message()->text(), "A mode is one of LR, IN, FB, CR, LA, SA and SL.");
}

}  // namespace
}  // namespace ovrel
