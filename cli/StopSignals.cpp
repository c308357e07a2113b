#include "cli/StopSignals.h"

#include <pthread.h>

#include <ctime>
#include <initializer_list>

namespace ovrel::cli {

HeldStopSignals::HeldStopSignals(bool takeOver) : held_(takeOver) {
  if (!held_) return;
  sigemptyset(&signals_);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, sig);
  ::pthread_sigmask(SIG_BLOCK, &signals_, &saved_);
}

HeldStopSignals::~HeldStopSignals() {
  if (held_) ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

int HeldStopSignals::Arrived() {
  if (!held_) return 0;
  if (stop_ == 0) {
    const timespec now{};
    const int sig = ::sigtimedwait(&signals_, nullptr, &now);
    if (sig > 0) stop_ = sig;
  }
  return stop_;
}

}  // namespace ovrel::cli
