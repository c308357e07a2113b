#include "editor/TRepeatButton.h"

#include <QMouseEvent>

namespace ovrel {

TRepeatButton::TRepeatButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &TRepeatButton::TimerExpired);
}

void TRepeatButton::mousePressEvent(QMouseEvent* e) {
  QPushButton::mousePressEvent(e);
  if (e->button() == Qt::LeftButton && isDown()) timer_.start(InitRepeatPause);
}

void TRepeatButton::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) timer_.stop();
  QPushButton::mouseReleaseEvent(e);  // the ordinary click
}

void TRepeatButton::hideEvent(QHideEvent* e) {
  timer_.stop();
  QPushButton::hideEvent(e);
}

void TRepeatButton::TimerExpired() {
  timer_.setInterval(RepeatPause);
  emit clicked(false);
}

}  // namespace ovrel
