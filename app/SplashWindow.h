#pragma once
// The splash window: shown from its creation for five seconds, frameless,
// always on top and slightly translucent; when its timer fires it hides and
// shows the main window.

#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace ovrel {

class SplashWindow : public QWidget {
  Q_OBJECT
 public:
  // onEnded: runs when the splash ends by itself (shows the main window).
  // intervalMs: how long the splash stays (5000 ms in the program).
  explicit SplashWindow(std::function<void()> onEnded, int intervalMs = 5000,
                        QWidget* parent = nullptr);

  // Ends the splash early without running onEnded (the program is closing).
  void Dismiss();

 signals:
  // The splash has been drawn on screen for the first time; sent from the
  // event loop once that drawing is out, so that what can wait for the
  // splash to be seen starts after it.
  void FirstPainted();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void onCloseTimerTimeout();

  std::function<void()> onEnded_;
  QFrame* border_;
  QLabel* pictureLabel_;
  QLabel* productLabel_;
  QLabel* makerLabel_;
  QTimer* closeTimer_;
  bool painted_ = false;
};

}  // namespace ovrel
