// The timeline window with the real editor: opened from the Segment menu,
// clicks select segments in the grid, and every edit and selection in the
// editor reaches the picture at once.

#include <QImage>
#include <QLabel>
#include <QMenu>

#include "editor/EditorFixture.h"
#include "editor/TimelineWindow.h"
#include "support/FindChild.h"

namespace ovrel {
namespace {

class TimelineTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    // Four segments of 1, 2, 3 and 4 minutes, frequencies 10, 20, 30, 40.
    makeSession(4);
    for (int k = 1; k <= 4; ++k) {
      st().Ses[k].Time = 4 * k;
      st().Ses[k].FreqStart = st().Ses[k].FreqEnd = 10 * k;
    }
    form_->RefreshAll(1);
    Control<QAction>(*form_, "timelineAction")->trigger();
    timeline_ = form_->findChild<TimelineWindow*>();
    ASSERT_NE(timeline_, nullptr);
    timeline_->resize(900, 400);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(timeline_));
  }

  TimelineView* view() const { return Control<TimelineView>(*timeline_, "timelineView"); }
  const SessionPlot& plot() const { return view()->Plot(); }
  // x in the middle of segment k as the picture shows it now.
  QPoint segmentPoint(int k) const {
    const auto b = plot().Boundaries();
    const double x =
        plot().XOfTime((b[static_cast<size_t>(k - 1)] + b[static_cast<size_t>(k)]) / 2.0);
    return QPointF(x, plot().TraceArea().top() + 10).toPoint();
  }
  void clickSegment(int k, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(view(), Qt::LeftButton, mods, segmentPoint(k));
  }
  QColor pixel(double x, double y) {
    return view()->grab().toImage().pixelColor(QPointF(x, y).toPoint());
  }
  // True when the picture at (x, y) is the colour want, give or take the
  // blending of an antialiased line's edge.
  bool shows(double x, double y, QColor want) {
    const QColor c = pixel(x, y);
    return std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
               std::abs(c.blue() - want.blue()) <
           60;
  }
  int curCol() const { return grid()->currentIndex().column() + 1; }
  std::set<int> selectedCols() const {
    std::set<int> cols;
    for (const QModelIndex& i : grid()->selectionModel()->selectedIndexes())
      cols.insert(i.column() + 1);
    return cols;
  }

  TimelineWindow* timeline_ = nullptr;
};

TEST_F(TimelineTest, OpensFromTheEndOfTheSegmentMenuWithF4AndOnlyOnce) {
  const QList<QAction*> items = Control<QMenu>(*form_, "segmentMenu")->actions();
  ASSERT_FALSE(items.isEmpty());
  EXPECT_EQ(items.back()->text(), "Timeline");
  EXPECT_EQ(items.back()->shortcut(), QKeySequence(Qt::Key_F4));
  EXPECT_TRUE(timeline_->isVisible());
  timeline_->close();
  Control<QAction>(*form_, "timelineAction")->trigger();
  EXPECT_TRUE(timeline_->isVisible());
  EXPECT_EQ(form_->findChildren<TimelineWindow*>().size(), 1);
  // Closing the editor takes its timeline along.
  form_->close();
  EXPECT_FALSE(timeline_->isVisible());
}

TEST_F(TimelineTest, ClickSelectsTheSegmentAndShiftClickExtendsTheRange) {
  clickCell(1, 2);  // the cursor on the Mode row
  clickSegment(3);
  EXPECT_EQ(curCol(), 3);
  EXPECT_EQ(grid()->currentIndex().row(), 1) << "the parameter row stays";
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->text(), "Segment 3 start time: 3:00.0");
  clickSegment(1, Qt::ShiftModifier);
  EXPECT_EQ(selectedCols(), (std::set<int>{1, 2, 3}));
  // A second Shift+click extends from the same anchor, not from the cursor.
  clickSegment(4, Qt::ShiftModifier);
  EXPECT_EQ(selectedCols(), (std::set<int>{3, 4}));
  // The value commands then work on that range.
  Control<QAction>(*form_, "increaseAction")->trigger();
  EXPECT_EQ(st().Ses[3].Mode, 2);
  EXPECT_EQ(st().Ses[4].Mode, 2);
  EXPECT_EQ(st().Ses[2].Mode, 1);
  // Shift+click after a cursor move in the grid extends from the grid's cursor.
  clickCell(2, 1);
  clickSegment(1, Qt::ShiftModifier);
  EXPECT_EQ(selectedCols(), (std::set<int>{1, 2}));
  // Clicks beside the plot select nothing.
  QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(curCol(), 1);
}

TEST_F(TimelineTest, EditsAndSelectionInTheEditorChangeThePictureAtOnce) {
  const double x = segmentPoint(2).x();
  const QColor freq = plot().Colors().Frequency;
  EXPECT_TRUE(shows(x, plot().YOfFreq(20), freq));
  // Freq Start of segment 2 up by one: the line's middle moves half a step.
  clickCell(2, 3);
  Control<QAction>(*form_, "increaseAction")->trigger();
  EXPECT_FALSE(shows(x, plot().YOfFreq(20), freq));
  EXPECT_TRUE(shows(x, plot().YOfFreq(20.5), freq));
  EXPECT_EQ(st().Ses[2].FreqStart, 21);

  // The selection in the grid is shown highlighted over its segments.
  const QColor bg = plot().Colors().Background;
  const double emptyY = plot().YOfFreq(46);
  EXPECT_NE(pixel(segmentPoint(2).x(), emptyY), bg);
  EXPECT_EQ(pixel(segmentPoint(4).x(), emptyY), bg);

  // Deleting a segment reflows the picture and the totals.
  EXPECT_TRUE(Control<QLabel>(*timeline_, "totalsText")
                  ->text()
                  .startsWith("Total time: 10:00.0    Segments: 4"));
  Control<QAction>(*form_, "deleteAction")->trigger();
  EXPECT_TRUE(Control<QLabel>(*timeline_, "totalsText")
                  ->text()
                  .startsWith("Total time: 8:00.0    Segments: 3"))
      << Control<QLabel>(*timeline_, "totalsText")->text().toStdString();
  EXPECT_EQ(plot().ViewTo(), 8 * 60);
  clickCell(1, 1);  // segment 2 no longer under the highlight
  EXPECT_TRUE(shows(segmentPoint(2).x(), plot().YOfFreq(30), freq));
}

TEST_F(TimelineTest, TotalsShowEachModesShareAndTheFrequencyRange) {
  st().Ses[4].Mode = 2;  // FB for 4 of the 10 minutes
  st().Ses[1].Mode = 7;  // a mode only a damaged file holds, for 1 minute
  st().Ses[2].FreqEnd = 5;
  form_->RefreshAll(1);
  EXPECT_TRUE(Control<QLabel>(*timeline_, "totalsText")->text().contains("Frequency: 5 to 40 Hz"));
  const QString shares = Control<QLabel>(*timeline_, "modeSharesText")->text();
  EXPECT_TRUE(shares.contains("IN&nbsp;50&nbsp;%")) << shares.toStdString();
  EXPECT_TRUE(shares.contains("FB&nbsp;40&nbsp;%")) << shares.toStdString();
  EXPECT_TRUE(shares.contains("other&nbsp;10&nbsp;%")) << shares.toStdString();
  EXPECT_FALSE(shares.contains("LR")) << "modes not used are left out";
}

TEST_F(TimelineTest, SavePictureWritesTheChosenFormatAndReportsAFailure) {
  dialogs_.answerPath(tmp_.path() + "/Sessions/timeline.svg");
  Control<QPushButton>(*timeline_, "savePictureButton")->click();
  QFile svg(tmp_.path() + "/Sessions/timeline.svg");
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg.readAll().contains("<svg"));
  ASSERT_EQ(dialogs_.calls().size(), 1u);
  EXPECT_EQ(dialogs_.calls()[0].file.initialDir, settings_.SessionsFolder());

  dialogs_.answerPath(tmp_.path() + "/no such folder/timeline.png");
  Control<QPushButton>(*timeline_, "savePictureButton")->click();
  EXPECT_TRUE(lastMessage().contains("timeline.png")) << lastMessage().toStdString();
  // The save dialog and its failure open over the timeline, not over the
  // editor behind it.
  for (const ScriptedDialogs::Call& call : dialogs_.calls())
    EXPECT_EQ(call.window, timeline_);

  dialogs_.answerCancel();
  Control<QPushButton>(*timeline_, "savePictureButton")->click();
  EXPECT_TRUE(dialogs_.allAnswersUsed());
}

}  // namespace
}  // namespace ovrel
