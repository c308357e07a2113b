#include "ui/ScreenPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace ovrel {

namespace {

// The frame the window manager puts around a window: its own once it has
// been shown, else that of the window it belongs to (frames are alike).
QMargins FrameOf(const QWidget& window) {
  for (const QWidget* w = &window; w;
       w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
    const QRect frame = w->frameGeometry(), inner = w->geometry();
    if (frame != inner)
      return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
              frame.bottom() - inner.bottom()};
  }
  return {};
}

QRect AvailableArea(const QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

// The client area, as large as it may be and inside the room, whose frame
// starts at `at` (or nearest to it).
QRect Fitted(const QWidget& window, QPoint at, const QRect& room) {
  const QMargins frame = FrameOf(window);
  const QRect inner = room - frame;
  QSize size = window.size().boundedTo(inner.size()).expandedTo(window.minimumSize());
  const int w = size.width() + frame.left() + frame.right();
  const int h = size.height() + frame.top() + frame.bottom();
  at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - w)));
  at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - h)));
  return {at + QPoint(frame.left(), frame.top()), size};
}

void Fit(QWidget& window) {
  const QRect room = AvailableArea(window);
  if (room.isEmpty()) return;
  // The frame's corner as Fitted counts it, with the same frame: a window
  // inside the room stays exactly where it is. (Before the window is shown
  // its own frame is not known, and frameGeometry() is its client area.)
  const QMargins frame = FrameOf(window);
  const QRect placed =
      Fitted(window, window.geometry().topLeft() - QPoint(frame.left(), frame.top()), room);
  if (placed != window.geometry()) window.setGeometry(placed);
}

// The frame of a window that was never shown is not known yet: fitted again
// once it is shown, with its frame.
class FitWhenShown : public QObject {
 public:
  explicit FitWhenShown(QWidget& window) : QObject(&window), window_(window) {
    window.installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Show) {
      QTimer::singleShot(0, &window_, [w = &window_] { Fit(*w); });
      deleteLater();
    }
    return false;
  }

 private:
  QWidget& window_;
};

}  // namespace

void KeepOnScreen(QWidget& window) {
  Fit(window);
  if (!window.isVisible()) new FitWhenShown(window);
}

void PlaceBeside(QWidget& window, const QWidget& other) {
  const QRect room = AvailableArea(other);
  if (room.isEmpty()) return;
  const QRect beside = other.frameGeometry();
  const QMargins frame = FrameOf(window);
  const int w = std::min(window.width(), room.width() - frame.left() - frame.right()) +
                frame.left() + frame.right();
  QPoint at(beside.right() + 1, beside.top());
  if (at.x() + w > room.right() + 1 && beside.left() - w >= room.left()) at.setX(beside.left() - w);
  window.setGeometry(Fitted(window, at, room));
}

}  // namespace ovrel
