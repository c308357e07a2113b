#include <QMenu>
#include <QPointer>
#include <QUndoStack>
#include <set>

#include "editor/SweepDialog.h"
#include "editor/TimelineWindow.h"
#include "session/SesTime.h"
#include "support/FindChild.h"
#include "tests/editor/EditorFixture.h"

namespace ovrel {
namespace {

class EditorSweepTest : public EditorTest {
 protected:
  SweepDialog* OpenDialog() {
    Control<QAction>(*form_, "insertSweepAction")->trigger();
    auto* dialog = form_->findChild<SweepDialog*>(QStringLiteral("sweepDialog"));
    EXPECT_NE(dialog, nullptr);
    if (dialog) {
      EXPECT_TRUE(dialog->isVisible());
    }
    return dialog;
  }
  static void Fill(SweepDialog* d, const char* from, const char* to, const char* length,
                   const char* pitch) {
    Control<QLineEdit>(*d, "fromEdit")->setText(QString::fromLatin1(from));
    Control<QLineEdit>(*d, "toEdit")->setText(QString::fromLatin1(to));
    Control<QLineEdit>(*d, "lengthEdit")->setText(QString::fromLatin1(length));
    Control<QLineEdit>(*d, "pitchEdit")->setText(QString::fromLatin1(pitch));
  }
  std::set<int> SelectedCols() const {
    std::set<int> cols;
    for (const QModelIndex& i : grid()->selectionModel()->selectedIndexes())
      cols.insert(i.column() + 1);
    return cols;
  }
};

TEST_F(EditorSweepTest, InsertsTheSweepAtTheCursorAsOneUndoStepAndSelectsIt) {
  const QList<QAction*> items = Control<QMenu>(*form_, "segmentMenu")->actions();
  const auto at = items.indexOf(Control<QAction>(*form_, "insertAction"));
  ASSERT_GE(at, 0);
  ASSERT_LT(at + 1, items.size());
  EXPECT_EQ(items[at + 1]->text(), "Insert Sweep...");

  makeSession(2);  // pitches 101, 102
  TimelineWindow* timeline = form_->ShowTimeline();
  ShowForm();
  clickCell(2, RowPitch);
  QPointer<SweepDialog> dialog = OpenDialog();
  ASSERT_TRUE(dialog);

  // A faulty value is named beside its field and OK cannot be clicked.
  Fill(dialog, "14", "49", "30", "200:100");
  EXPECT_FALSE(Control<QPushButton>(*dialog, "okButton")->isEnabled());
  EXPECT_TRUE(Control<QLabel>(*dialog, "toReasonText")->text().contains("1 to 48"));
  EXPECT_TRUE(Control<QLabel>(*dialog, "fromReasonText")->text().isEmpty());
  EXPECT_TRUE(Control<QLabel>(*dialog, "totalText")->text().isEmpty());

  Control<QLineEdit>(*dialog, "toEdit")->setText(QStringLiteral("4"));
  Control<QComboBox>(*dialog, "modeCombo")->setCurrentText(QStringLiteral("SL"));
  ASSERT_TRUE(Control<QPushButton>(*dialog, "okButton")->isEnabled());
  EXPECT_TRUE(Control<QLabel>(*dialog, "toReasonText")->text().isEmpty());
  EXPECT_EQ(Control<QLabel>(*dialog, "totalText")->text(), "6 segments, total time 30:00.0");
  EXPECT_EQ(Control<QPlainTextEdit>(*dialog, "previewText")->document()->blockCount(), 6);
  QTest::mouseClick(Control<QPushButton>(*dialog, "okButton"), Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(dialog);
  ShowForm();

  // The sweep stands before the segment that was under the cursor.
  ASSERT_EQ(st().Ses.SegCount, 8);
  ASSERT_EQ(grid()->model()->columnCount(), 8);
  const QStringList from{"14", "12", "11", "9", "7", "6"};
  const QStringList to{"12", "11", "9", "7", "6", "4"};
  const QStringList pitch{"192", "175", "158", "142", "125", "108"};
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(cell(k + 2, RowTime), "5:00");
    EXPECT_EQ(cell(k + 2, RowMode), "SL");
    EXPECT_EQ(cell(k + 2, RowFreqStart), from[k]);
    EXPECT_EQ(cell(k + 2, RowFreqEnd), to[k]);
    EXPECT_EQ(cell(k + 2, RowPitch), pitch[k]);
  }
  EXPECT_EQ(cell(1, RowPitch), "101");
  EXPECT_EQ(cell(8, RowPitch), "102");
  EXPECT_EQ(SelectedCols(), (std::set<int>{2, 3, 4, 5, 6, 7}));
  EXPECT_TRUE(st().SesModified);
  EXPECT_TRUE(Control<QLabel>(*timeline, "totalsText")->text().contains("Segments: 8"));

  // One Undo takes the whole sweep back, one Redo puts it in again.
  key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(st().Ses.SegCount, 2);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 102}));
  EXPECT_EQ(grid()->model()->columnCount(), 2);
  EXPECT_TRUE(Control<QLabel>(*timeline, "totalsText")->text().contains("Segments: 2"));
  key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(st().Ses.SegCount, 8);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 192, 175, 158, 142, 125, 108, 102}));
}

TEST_F(EditorSweepTest, RefusesASweepThatDoesNotFitTheSession) {
  makeSession(3);
  st().Ses.SegCount = 378;
  form_->RefreshAll(1);
  QPointer<SweepDialog> dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  Fill(dialog, "10", "12", "12:00", "100");  // three segments
  EXPECT_FALSE(Control<QPushButton>(*dialog, "okButton")->isEnabled());
  EXPECT_TRUE(Control<QLabel>(*dialog, "lengthReasonText")->text().contains("room for 2 more"));
  Control<QLineEdit>(*dialog, "lengthEdit")->setText(QStringLiteral("11:30"));  // two
  ASSERT_TRUE(Control<QPushButton>(*dialog, "okButton")->isEnabled());
  QTest::mouseClick(Control<QPushButton>(*dialog, "okButton"), Qt::LeftButton);
  EXPECT_EQ(st().Ses.SegCount, 380);
  EXPECT_EQ(st().Ses[1].FreqStart, 10);
  EXPECT_EQ(st().Ses[2].FreqEnd, 12);
  EXPECT_EQ(st().Ses[3].Pitch, 101);
}

// The session the sweep makes is longer than 255 minutes: the dialog says
// how the device will show it, and takes it all the same.
TEST_F(EditorSweepTest, WarnsOfASessionTheDeviceShowsModulo256Minutes) {
  makeSession(1);
  st().Ses[1].Time = 20;  // 5:00 before the sweep
  form_->RefreshAll(1);
  QPointer<SweepDialog> dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  auto* warning = Control<QLabel>(*dialog, "lengthWarningText");
  Fill(dialog, "10", "4", "250:00", "100");
  EXPECT_TRUE(warning->isHidden());
  Control<QLineEdit>(*dialog, "lengthEdit")->setText(QStringLiteral("252:00"));
  EXPECT_FALSE(warning->isHidden());
  EXPECT_EQ(warning->text(),
            "The session lasts 257:00, longer than 255 minutes: Sorvani shows a length modulo 256 "
            "minutes, so it will show 1:00.");
  auto* okButton = Control<QPushButton>(*dialog, "okButton");
  ASSERT_TRUE(okButton->isEnabled());
  QTest::mouseClick(okButton, Qt::LeftButton);
  EXPECT_EQ(SesTotalSeconds(st().Ses), 257 * 60);
}

}  // namespace
}  // namespace ovrel
