#include "editor/TimelineView.h"

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
  update();
}

void TimelineView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  plot_.Paint(p);
}

void TimelineView::resizeEvent(QResizeEvent*) {
  plot_.SetSize(size());
}

void TimelineView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  const QPointF at = e->position();
  // The band belongs to the segments above it, so a click there counts too.
  const QRectF area = plot_.TraceArea().united(plot_.ModeBand());
  if (at.y() < area.top() || at.y() > area.bottom()) return;
  if (const int seg = plot_.SegmentAt(at.x()); seg > 0)
    emit SegmentClicked(seg, e->modifiers().testFlag(Qt::ShiftModifier));
}

void TimelineView::wheelEvent(QWheelEvent* e) {
  const double notches = e->angleDelta().y() / 120.0;
  if (notches == 0) return;
  plot_.ZoomAt(e->position().x(), std::pow(kZoomPerNotch, notches));
  update();
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
      update();
      break;
    case Qt::Key_Minus:
      plot_.ZoomAt(centre, 0.5);
      update();
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
