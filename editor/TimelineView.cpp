#include "editor/TimelineView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace ovrel {

namespace {

// Zoom factor of one wheel notch (120 eighths of a degree).
constexpr double kZoomPerNotch = 1.25;

}  // namespace

TimelineView::TimelineView(const Session& ses, QWidget* parent) : QWidget(parent), plot_(ses) {
  setObjectName(QStringLiteral("timelineView"));
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  plot_.SetColors(PlotColors::For(palette()));
  plot_.SetSize(size());
}

void TimelineView::FitAll() {
  plot_.FitAll();
  Changed();
}

void TimelineView::PanTo(double fromSeconds) {
  plot_.PanTo(fromSeconds);
  Changed();
}

void TimelineView::Changed() {
  update();
  emit ViewChanged();
}

void TimelineView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  plot_.Paint(p);
}

void TimelineView::resizeEvent(QResizeEvent*) {
  plot_.SetSize(size());
}

int TimelineView::SegmentAtPoint(QPointF at) const {
  // The band belongs to the segments above it, so a click there counts too.
  const QRectF area = plot_.TraceArea().united(plot_.ModeBand());
  if (at.y() < area.top() || at.y() > area.bottom()) return 0;
  return plot_.SegmentAt(at.x());
}

void TimelineView::mousePressEvent(QMouseEvent* e) {
  const bool shift = e->modifiers().testFlag(Qt::ShiftModifier);
  // The middle button, or the left one with Shift, drags the view; Shift
  // with a click that does not move still extends the selection (on
  // release).
  if (e->button() == Qt::MiddleButton || (e->button() == Qt::LeftButton && shift)) {
    dragging_ = true;
    dragMoved_ = false;
    dragStart_ = e->position();
    dragFrom_ = plot_.ViewFrom();
    if (plot_.Zoomed()) setCursor(Qt::ClosedHandCursor);
    return;
  }
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  if (const int seg = SegmentAtPoint(e->position()); seg > 0) emit SegmentClicked(seg, false);
}

void TimelineView::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_) return QWidget::mouseMoveEvent(e);
  const double dx = e->position().x() - dragStart_.x();
  if (!dragMoved_ && std::abs(dx) < QApplication::startDragDistance()) return;
  dragMoved_ = true;
  if (!plot_.Zoomed()) return;
  // The time under the pointer stays under it.
  const double secondsPerPixel = (plot_.ViewTo() - plot_.ViewFrom()) / plot_.TraceArea().width();
  PanTo(dragFrom_ - dx * secondsPerPixel);
}

void TimelineView::mouseReleaseEvent(QMouseEvent* e) {
  if (!dragging_) return QWidget::mouseReleaseEvent(e);
  dragging_ = false;
  unsetCursor();
  if (e->button() == Qt::LeftButton && !dragMoved_)
    if (const int seg = SegmentAtPoint(dragStart_); seg > 0) emit SegmentClicked(seg, true);
}

void TimelineView::wheelEvent(QWheelEvent* e) {
  const double notches = e->angleDelta().y() / 120.0;
  if (notches == 0) {
    // A sideways wheel (or Shift with the wheel, as many desktops send it)
    // moves a zoomed view by a tenth of its span per notch.
    const double sideways = e->angleDelta().x() / 120.0;
    if (sideways == 0) return;
    PanTo(plot_.ViewFrom() - sideways * (plot_.ViewTo() - plot_.ViewFrom()) / 10);
    e->accept();
    return;
  }
  plot_.ZoomAt(e->position().x(), std::pow(kZoomPerNotch, notches));
  Changed();
  e->accept();
}

void TimelineView::keyPressEvent(QKeyEvent* e) {
  const double centre = plot_.TraceArea().center().x();
  switch (e->key()) {
    case Qt::Key_Home:
      FitAll();
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      plot_.ZoomAt(centre, 2.0);
      Changed();
      break;
    case Qt::Key_Minus:
      plot_.ZoomAt(centre, 0.5);
      Changed();
      break;
    default:
      QWidget::keyPressEvent(e);
  }
}

void TimelineView::changeEvent(QEvent* e) {
  // Follows a switch between a light and a dark theme.
  if (e->type() == QEvent::PaletteChange || e->type() == QEvent::ApplicationPaletteChange) {
    plot_.SetColors(PlotColors::For(palette()));
    update();
  }
  QWidget::changeEvent(e);
}

}  // namespace ovrel
