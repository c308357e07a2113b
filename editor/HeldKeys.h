#pragma once
// Tells the real release of a key from the release and press pairs that a
// held key repeats. The window system flags repeated events, but under X11
// the flag is unreliable once the window repaints between repeats, so a
// release only counts when no press of the same key follows within SettleMs.

#include <QHash>
#include <QObject>
#include <QSet>

namespace ovrel {

class HeldKeys : public QObject {
  Q_OBJECT
 public:
  explicit HeldKeys(QObject* parent = nullptr);

  // How long after a release a press of the same key still makes it a repeat.
  int SettleMs = 60;

  // A key went down (a press or a shortcut for it). A press of a key that is
  // held or whose release is still settling continues that hold.
  void Pressed(int key);
  // A key came up; RealRelease follows SettleMs later unless it is pressed again.
  void Released(int key);
  // Forgets every hold without reporting releases (the window lost the
  // keyboard, so the releases go elsewhere).
  void Forget();

  bool AnyHeld() const { return !held_.isEmpty(); }

 signals:
  // A key was pressed that was not held: a new hold begins.
  void HoldStarted(int key);
  // The key was released for good.
  void RealRelease(int key);

 protected:
  void timerEvent(QTimerEvent* e) override;

 private:
  QSet<int> held_;
  QHash<int, int> settling_;  // key -> timer id
};

}  // namespace ovrel
