// The timeline window with the real editor: opened from the Segment menu,
// clicks select segments in the grid, and every edit and selection in the
// editor reaches the picture at once.

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QWheelEvent>

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
    openedAt_ = timeline_->frameGeometry();
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

  // Turns the wheel over the picture at x, notches up (zoom in) or down.
  void wheel(double x, int notches) {
    const QPointF at(x, plot().TraceArea().center().y());
    QWheelEvent e(at, view()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view(), &e);
  }
  double span() const { return plot().ViewTo() - plot().ViewFrom(); }

  TimelineWindow* timeline_ = nullptr;
  QRect openedAt_;  // where the timeline first opened
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
  dialogs_.AnswerPath(tmp_.path() + "/Sessions/timeline.svg");
  Control<QPushButton>(*timeline_, "savePictureButton")->click();
  QFile svg(tmp_.path() + "/Sessions/timeline.svg");
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg.readAll().contains("<svg"));
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].File.InitialDir, settings_.SessionsFolder());

  dialogs_.AnswerPath(tmp_.path() + "/no such folder/timeline.png");
  Control<QPushButton>(*timeline_, "savePictureButton")->click();
  EXPECT_TRUE(lastMessage().contains("timeline.png")) << lastMessage().toStdString();
  // The save dialog and its failure open over the timeline, not over the
  // editor behind it.
  for (const ScriptedDialogs::Call& call : dialogs_.Calls())
    EXPECT_EQ(call.Window, timeline_);

  dialogs_.AnswerCancel();
  Control<QPushButton>(*timeline_, "savePictureButton")->click();
  EXPECT_TRUE(dialogs_.AllAnswersUsed());
}

TEST_F(TimelineTest, OpensBesideTheEditorNotOverIt) {
  EXPECT_FALSE(openedAt_.intersects(form_->frameGeometry()))
      << openedAt_.x() << "," << openedAt_.y() << " " << openedAt_.width() << "x"
      << openedAt_.height();
  EXPECT_TRUE(form_->screen()->availableGeometry().contains(openedAt_));
}

// Moved and closed, it opens there again in the next run.
TEST_F(TimelineTest, ReopensWhereTheUserLeftIt) {
  const QRect room = form_->screen()->availableGeometry();
  const QRect left(room.left() + 20, room.top() + 40, 760, 420);
  timeline_->setGeometry(left);
  timeline_->close();
  form_.reset();
  form_ = std::make_unique<SessionEditorWindow>(settings_, dialogs_, [] {});
  ShowForm();
  Control<QAction>(*form_, "timelineAction")->trigger();
  auto* again = form_->findChild<TimelineWindow*>();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->geometry(), left);
}

TEST_F(TimelineTest, ZoomingNearTheEndNeverRunsPastTheSessionsEnd) {
  const double total = plot().SessionSpan();  // 40 units: 600 s
  ASSERT_EQ(total, 600);
  // Near the end of the traces, then on the pitch scale right of them,
  // zooming in and out one notch at a time.
  const double nearEnd = plot().TraceArea().right() - 3;
  const double onScale = plot().TraceArea().right() + 20;
  ASSERT_LT(onScale, view()->width());
  const std::vector<std::pair<double, int>> steps = {{nearEnd, 1},  {nearEnd, 1}, {onScale, 1},
                                                     {onScale, 1},  {nearEnd, 1}, {onScale, -1},
                                                     {nearEnd, -1}, {onScale, -1}};
  for (const auto& [x, notches] : steps) {
    const double before = span();
    wheel(x, notches);
    EXPECT_GE(plot().ViewFrom(), 0);
    EXPECT_LE(plot().ViewTo(), total) << "after a notch of " << notches << " at " << x;
    if (notches > 0) {
      EXPECT_LT(span(), before);
    }
  }
  // The end stays in sight: the view was zoomed where it is.
  EXPECT_GT(plot().ViewTo(), total - 1);
}

TEST_F(TimelineTest, AZoomedTimelineScrollsByItsBarAndByDragging) {
  QScrollBar* bar = Control<QScrollBar>(*timeline_, "timelineScrollBar");
  EXPECT_FALSE(bar->isEnabled());  // the whole session is in view
  view()->setFocus();
  QTest::keyClick(view(), Qt::Key_Plus);
  QTest::keyClick(view(), Qt::Key_Plus);  // a quarter of the 600 s: 150 s
  ASSERT_EQ(span(), 150);
  EXPECT_TRUE(bar->isEnabled());
  EXPECT_EQ(bar->maximum(), 450);
  EXPECT_EQ(bar->pageStep(), 150);
  EXPECT_EQ(bar->value(), static_cast<int>(plot().ViewFrom()));

  bar->setValue(bar->maximum());
  EXPECT_EQ(plot().ViewTo(), 600);
  bar->setValue(0);
  EXPECT_EQ(plot().ViewFrom(), 0);

  // Dragging left with the middle button shows later times; the bar follows.
  const double secondsPerPixel = span() / plot().TraceArea().width();
  const QPoint start(400, static_cast<int>(plot().TraceArea().center().y()));
  QTest::mousePress(view(), Qt::MiddleButton, {}, start);
  QTest::mouseMove(view(), start - QPoint(100, 0));
  QTest::mouseRelease(view(), Qt::MiddleButton, {}, start - QPoint(100, 0));
  EXPECT_NEAR(plot().ViewFrom(), 100 * secondsPerPixel, 1e-6);
  EXPECT_EQ(span(), 150);
  EXPECT_EQ(bar->value(), static_cast<int>(std::lround(plot().ViewFrom())));

  // Shift and the left button drag too, without touching the selection,
  // and never before the session's start.
  const auto selected = selectedCols();
  QTest::mousePress(view(), Qt::LeftButton, Qt::ShiftModifier, start);
  QTest::mouseMove(view(), start + QPoint(500, 0));
  QTest::mouseRelease(view(), Qt::LeftButton, Qt::ShiftModifier, start + QPoint(500, 0));
  EXPECT_EQ(plot().ViewFrom(), 0);
  EXPECT_EQ(span(), 150);
  EXPECT_EQ(selectedCols(), selected);
}

}  // namespace
}  // namespace ovrel
