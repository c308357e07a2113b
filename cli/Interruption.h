#pragma once
// Interruption as a value: the token a device command polls before each
// operation and its event loop listens to while one runs, and the watch
// that feeds it with the process's signals that would end it (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM).
// Whether a request stops the command at once is the command's decision:
// a write into the device that has begun (from its C on) is finished first,
// since stopping in the middle of the blocks would leave the memory torn.

#include <signal.h>

#include <QString>
#include <functional>
#include <memory>

namespace ovrel::cli {

class Interruption {
 public:
  // The signal that asked the command to stop; 0 when none did.
  int Signal() const { return signal_; }
  bool Requested() const { return signal_ != 0; }
  // Asks the running command to stop because of signal; the first request
  // counts. The listener, if any, is told.
  void Request(int signal);
  // What the running command's event loop does when a request comes;
  // empty: nothing (the command polls Requested between its steps).
  void Listen(std::function<void()> listener) { listener_ = std::move(listener); }

 private:
  int signal_ = 0;
  std::function<void()> listener_;
};

// "SIGINT", "SIGTERM", "SIGHUP", ..., or "signal N".
QString SignalName(int signal);

// The signals whose default ends the process and that can be caught: any
// of them in the middle of a write would tear the device's memory.
inline constexpr int kWatchedSignals[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                                          SIGUSR1, SIGUSR2, SIGALRM};

// While it lives, the watched signals no longer end the process but
// reach token as requests, through the event loop of the QCoreApplication
// that must exist (a signalfd, read when it becomes readable). The signals
// stay held back afterwards: a second one after the command's end must not
// end the process before it has reported.
class SignalWatch {
 public:
  explicit SignalWatch(Interruption& token);
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  struct Notifier;
  std::unique_ptr<Notifier> notifier_;
  int fd_ = -1;
};

}  // namespace ovrel::cli
