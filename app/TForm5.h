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

class TForm5 : public QWidget {
  Q_OBJECT
 public:
  // showMainForm: shows the main window when the splash ends.
  // intervalMs: how long the splash stays (5000 ms in the program).
  explicit TForm5(std::function<void()> showMainForm, int intervalMs = 5000,
                  QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label2;
  QTimer* Timer1;

  void FormCreate();
  void Timer1Timer();

 private:
  std::function<void()> showMainForm_;
};

}  // namespace ovrel
