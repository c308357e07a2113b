#pragma once
// The session picture as a widget: repaints on request, zooms the time axis
// with the mouse wheel around the pointer, fits the whole session on Home,
// and reports which segment a click hit.

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

  QSize sizeHint() const override { return {900, 320}; }
  QSize minimumSizeHint() const override { return {300, 150}; }

 signals:
  // A click on segment seg; extend is true when Shift was held.
  void SegmentClicked(int seg, bool extend);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  SessionPlot plot_;
};

}  // namespace ovrel
