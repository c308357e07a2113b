#pragma once
// A push button that repeats its click while it is held down: the first
// repeat comes InitRepeatPause ms after the press, the next ones every
// RepeatPause ms, and the ordinary click on release adds one more. A short
// click therefore clicks once.

#include <QPushButton>
#include <QTimer>

namespace ovrel {

class RepeatButton : public QPushButton {
  Q_OBJECT
 public:
  explicit RepeatButton(const QString& text, QWidget* parent = nullptr);

  int InitRepeatPause = 250;
  int RepeatPause = 75;

  // From the press to the end of the click its release makes: the clicks
  // of one hold, the last one included.
  bool Held() const { return held_; }

  // The running repeat timer (for inspection).
  const QTimer& RepeatTimer() const { return timer_; }

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  void onRepeatTimerTimeout();
  QTimer timer_;
  bool held_ = false;
};

}  // namespace ovrel
