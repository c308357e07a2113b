#include <QKeyEvent>
#include <QMenu>
#include <QUndoStack>
#include <functional>

#include "support/FindChild.h"
#include "tests/editor/EditorFixture.h"

namespace ovrel {
namespace {

class EditorUndoTest : public EditorTest {
 protected:
  // Four segments with Pitch 101..104, saved, so that the file and the
  // session agree and the history starts clean.
  void makeSavedSession() {
    makeSession(4);
    dialogs_.AnswerPath(path("Four.svs"));
    Control<QAction>(*form_, "saveAsAction")->trigger();
    ASSERT_FALSE(st().SesModified);
    dialogs_.Clear();
  }
  std::vector<Segment> Segs() {
    return {st().Ses.SegData.begin() + 1, st().Ses.SegData.begin() + 1 + st().Ses.SegCount};
  }
};

TEST_F(EditorUndoTest, EveryKindOfChangeIsUndoneAndRedoneWithTheModifiedFlag) {
  makeSavedSession();
  const std::vector<Segment> saved = Segs();
  struct Change {
    const char* name;
    std::function<void()> run;
    std::function<void()> setup = [] {};
  };
  // Segment 1 made equal to segment 2, so that the optimiser merges them.
  const auto mergeable = [&] {
    clickCell(1, RowPitch);
    key(Qt::Key_Q);
  };
  const std::vector<Change> changes = {
      {"value step",
       [&] {
         clickCell(2, RowPitch);
         key(Qt::Key_Q);
       }},
      {"fast step",
       [&] {
         clickCell(3, RowTime);
         key(Qt::Key_A, Qt::ControlModifier);
       }},
      {"insert",
       [&] {
         clickCell(2, RowMode);
         key(Qt::Key_Insert, Qt::ControlModifier);
       }},
      {"add new", [&] { key(Qt::Key_N, Qt::ControlModifier); }},
      {"delete",
       [&] {
         clickCell(2, RowMode);
         clickCell(3, RowMode, Qt::ShiftModifier);
         key(Qt::Key_Delete);
       }},
      {"cut",
       [&] {
         clickCell(1, RowMode);
         key(Qt::Key_X, Qt::ControlModifier);
       }},
      {"paste",
       [&] {
         clickCell(1, RowMode);
         key(Qt::Key_C, Qt::ControlModifier);
         key(Qt::Key_V, Qt::ControlModifier);
       }},
      {"optimise", [&] { Control<QAction>(*form_, "optimizeAction")->trigger(); }, mergeable},
      {"import cancelled (optimises)",
       [&] {
         dialogs_.AnswerButton(MsgResult::No);  // not saved first
         dialogs_.AnswerCancel();
         Control<QAction>(*form_, "importRvxAction")->trigger();
       },
       mergeable},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    change.setup();
    QTest::qWait(80);  // the key holds end
    const std::vector<Segment> before = Segs();
    const bool modifiedBefore = st().SesModified;
    change.run();
    QTest::qWait(80);  // the key holds end
    const std::vector<Segment> after = Segs();
    ASSERT_NE(before, after);
    EXPECT_TRUE(st().SesModified);

    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Segs(), before);
    EXPECT_EQ(grid()->model()->columnCount(), static_cast<int>(before.size()));
    EXPECT_EQ(st().SesModified, modifiedBefore);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Segs(), after);
    EXPECT_TRUE(st().SesModified);
    key(Qt::Key_Z, Qt::ControlModifier);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Segs(), after);
    EXPECT_EQ(cell(1, RowPitch), QString::number(after[0].Pitch));

    // Back to the file's state before the next kind of change.
    while (Control<QAction>(*form_, "undoAction")->isEnabled())
      Control<QAction>(*form_, "undoAction")->trigger();
    if (Segs() != saved) {
      st().Ses.SegCount = static_cast<int32_t>(saved.size());
      std::copy(saved.begin(), saved.end(), st().Ses.SegData.begin() + 1);
      form_->RefreshAll(1);
    }
    form_->Document().UndoStack()->clear();
    st().SesModified = false;
  }
  EXPECT_EQ(dialogs_.Unexpected(), 0);
}

TEST_F(EditorUndoTest, UndoingBackToTheSavedStateMeansNothingToSave) {
  makeSavedSession();
  clickCell(1, RowPitch);
  key(Qt::Key_Q);
  QTest::qWait(80);
  key(Qt::Key_Q);
  Control<QAction>(*form_, "undoAction")->trigger();
  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_FALSE(st().SesModified);
  form_->close();  // no question: the session equals the file
  EXPECT_TRUE(dialogs_.Calls().empty());
  Control<QAction>(*form_, "redoAction")->trigger();
  EXPECT_TRUE(st().SesModified);

  // Saving in the middle of the history moves the saved state there.
  Control<QAction>(*form_, "saveAction")->trigger();
  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_TRUE(st().SesModified);
  Control<QAction>(*form_, "redoAction")->trigger();
  EXPECT_FALSE(st().SesModified);
}

TEST_F(EditorUndoTest, NewCanBeTakenBackWithItsFileName) {
  makeSavedSession();
  const std::vector<Segment> saved = Segs();
  clickCell(2, RowPitch);
  key(Qt::Key_Q);
  dialogs_.AnswerButton(MsgResult::No);  // not saved: the change is taken back below
  Control<QAction>(*form_, "newAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_FALSE(st().SesModified);
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - []");

  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, 4);
  EXPECT_EQ(st().Ses[2].Pitch, saved[1].Pitch + 1);
  EXPECT_EQ(QString::fromStdString(st().SesFileName), path("Four.svs"));
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - [Four]*");
  EXPECT_TRUE(st().SesModified);
  Control<QAction>(*form_, "redoAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_FALSE(st().SesModified);
}

TEST_F(EditorUndoTest, OpeningASessionClearsTheHistory) {
  makeSavedSession();
  key(Qt::Key_Q);
  EXPECT_TRUE(Control<QAction>(*form_, "undoAction")->isEnabled());
  dialogs_.AnswerButton(MsgResult::No);
  dialogs_.AnswerPath(path("Four.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_FALSE(Control<QAction>(*form_, "undoAction")->isEnabled());
  EXPECT_FALSE(Control<QAction>(*form_, "redoAction")->isEnabled());
  key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(st().Ses.SegCount, 4);
}

TEST_F(EditorUndoTest, AHeldButtonOrKeyIsOneUndoStep) {
  makeSavedSession();
  clickCell(1, RowPitch);
  QTest::mousePress(Control<RepeatButton>(*form_, "valueUpButton"), Qt::LeftButton);
  QTest::qWait(500);  // the long pause, then repeats
  QTest::mouseRelease(Control<RepeatButton>(*form_, "valueUpButton"), Qt::LeftButton);
  ASSERT_GT(st().Ses[1].Pitch, 103);
  // Two short clicks are two steps.
  QTest::mouseClick(Control<RepeatButton>(*form_, "valueUpButton"), Qt::LeftButton);
  QTest::mouseClick(Control<RepeatButton>(*form_, "valueUpButton"), Qt::LeftButton);
  const int32_t afterHold = st().Ses[1].Pitch - 2;
  Control<QAction>(*form_, "undoAction")->trigger();
  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_EQ(st().Ses[1].Pitch, afterHold);
  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_EQ(st().Ses[1].Pitch, 101);
  EXPECT_FALSE(st().SesModified);

  // The Q key held under X11: release and press pairs without the repeat flag.
  QTest::keyPress(grid(), Qt::Key_Q);
  for (int i = 0; i < 6; ++i) {
    QTest::keyRelease(grid(), Qt::Key_Q);
    QTest::keyPress(grid(), Qt::Key_Q);
    QTest::qWait(20);
  }
  QTest::keyRelease(grid(), Qt::Key_Q);
  QTest::qWait(100);
  EXPECT_EQ(st().Ses[1].Pitch, 108);
  key(Qt::Key_Q);
  Control<QAction>(*form_, "undoAction")->trigger();
  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_EQ(st().Ses[1].Pitch, 101);
  EXPECT_FALSE(st().SesModified);
}

TEST_F(EditorUndoTest, UndoAndRedoHeadTheSegmentMenu) {
  const QList<QAction*> items = Control<QMenu>(*form_, "segmentMenu")->actions();
  ASSERT_GE(items.size(), 3);
  EXPECT_EQ(items[0]->text(), "Undo");
  EXPECT_EQ(items[1]->text(), "Redo");
  EXPECT_TRUE(items[2]->isSeparator());
  EXPECT_EQ(items[0]->shortcut(), QKeySequence("Ctrl+Z"));
  EXPECT_TRUE(items[1]->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));
  EXPECT_TRUE(items[1]->shortcuts().contains(QKeySequence("Ctrl+Y")));
  // Nothing to take back in a fresh session.
  EXPECT_FALSE(items[0]->isEnabled());
  EXPECT_FALSE(items[1]->isEnabled());
}

}  // namespace
}  // namespace ovrel
