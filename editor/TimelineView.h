#pragma once
// The session picture as a widget: repaints on request, zooms the time axis
// with the mouse wheel around the pointer, fits the whole session on Home,
// moves a zoomed view when dragged with the middle button or with Shift
// held, and reports which segment a click hit.

#include <QWidget>

#include "plot/SessionPlot.h"

namespace ovrel {

class TimelineView : public QWidget {
  Q_OBJECT
 public:
  explicit TimelineView(const Session& ses, QWidget* parent = nullptr);

  SessionPlot& Plot() { return plot_; }
  const SessionPlot& Plot() const { return plot_; }
  void FitAll();
  // Shows the zoomed span from fromSeconds on.
  void PanTo(double fromSeconds);

  QSize sizeHint() const override { return {900, 320}; }
  QSize minimumSizeHint() const override { return {300, 150}; }

 signals:
  // A click on segment seg; extend is true when Shift was held.
  void SegmentClicked(int seg, bool extend);
  // The visible span changed (zoom, fit, drag).
  void ViewChanged();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  // The segment under at, or 0 (also outside the traces and the band).
  int SegmentAtPoint(QPointF at) const;
  void Changed();

  SessionPlot plot_;
  // A drag that moves the view: where it started, the view's start then,
  // and whether the pointer has moved far enough to count as a drag.
  bool dragging_ = false;
  bool dragMoved_ = false;
  QPointF dragStart_;
  double dragFrom_ = 0;
};

}  // namespace ovrel
