#include "editor/RepeatButton.h"

#include <QMouseEvent>

namespace ovrel {

RepeatButton::RepeatButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &RepeatButton::onRepeatTimerTimeout);
}

void RepeatButton::mousePressEvent(QMouseEvent* e) {
  QPushButton::mousePressEvent(e);
  if (e->button() == Qt::LeftButton && isDown()) {
    held_ = true;
    timer_.start(InitRepeatPause);
  }
}

void RepeatButton::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) timer_.stop();
  QPushButton::mouseReleaseEvent(e);  // the ordinary click
  if (e->button() == Qt::LeftButton) held_ = false;
}

void RepeatButton::hideEvent(QHideEvent* e) {
  timer_.stop();
  held_ = false;
  QPushButton::hideEvent(e);
}

void RepeatButton::onRepeatTimerTimeout() {
  timer_.setInterval(RepeatPause);
  emit clicked(false);
}

}  // namespace ovrel
