#pragma once
// The signals that ask the program to end: SIGINT, SIGTERM and SIGHUP (a
// session that ends, a terminal that closes). While an EndSignals lives
// they no longer end the process at once: each reaches the event loop as
// Requested, so that the program ends as its close box would, after the
// device's work, and never in the middle of a write.

#include <QObject>

class QSocketNotifier;

namespace ovrel {

class EndSignals : public QObject {
  Q_OBJECT
 public:
  // Catches the signals; only one may live at a time.
  explicit EndSignals(QObject* parent = nullptr);
  // Gives the signals their default action back.
  ~EndSignals() override;
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

  // False when the signals could not be caught (they end the process).
  bool Active() const { return notifier_ != nullptr; }

 signals:
  void Requested(int signal);

 private:
  void ReadSignals();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ovrel
