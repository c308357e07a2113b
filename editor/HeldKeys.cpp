#include "editor/HeldKeys.h"

#include <QTimerEvent>

namespace ovrel {

HeldKeys::HeldKeys(QObject* parent) : QObject(parent) {}

void HeldKeys::Pressed(int key) {
  if (const auto it = settling_.find(key); it != settling_.end()) {
    killTimer(it.value());
    settling_.erase(it);
  }
  if (held_.contains(key)) return;
  held_.insert(key);
  emit HoldStarted(key);
}

void HeldKeys::Released(int key) {
  // A release whose press went elsewhere still ends a hold of this key.
  held_.insert(key);
  if (const auto it = settling_.find(key); it != settling_.end()) killTimer(it.value());
  settling_.insert(key, startTimer(SettleMs, Qt::PreciseTimer));
}

void HeldKeys::Forget() {
  for (const int id : std::as_const(settling_)) killTimer(id);
  settling_.clear();
  held_.clear();
}

void HeldKeys::timerEvent(QTimerEvent* e) {
  for (auto it = settling_.begin(); it != settling_.end(); ++it) {
    if (it.value() != e->timerId()) continue;
    const int key = it.key();
    killTimer(it.value());
    settling_.erase(it);
    held_.remove(key);
    emit RealRelease(key);
    return;
  }
}

}  // namespace ovrel
