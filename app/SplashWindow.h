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
  // showMainForm: shows the main window when the splash ends.
  // intervalMs: how long the splash stays (5000 ms in the program).
  explicit SplashWindow(std::function<void()> showMainForm, int intervalMs = 5000,
                        QWidget* parent = nullptr);

  QFrame* border;
  QLabel* picture;
  QLabel* productLabel;
  QLabel* makerLabel;
  QTimer* closeTimer;

  void FormCreate();
  void onCloseTimerTimeout();

 private:
  std::function<void()> showMainForm_;
};

}  // namespace ovrel
