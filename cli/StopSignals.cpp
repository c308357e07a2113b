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

namespace {

// The hold of the watched signals from ovrel's start: the mask it was
// started with, and whether a signal watch reads them now.
struct StartHold {
  bool held = false;
  bool takenOver = false;
  sigset_t startMask{};
};

StartHold& Hold() {
  static StartHold hold;
  return hold;
}

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kWatchedSignals) sigaddset(&set, sig);
  return set;
}

}  // namespace

void HoldSignalsFromStart() {
  const sigset_t watched = WatchedSignals();
  Hold().held = ::pthread_sigmask(SIG_BLOCK, &watched, &Hold().startMask) == 0;
}

void ReleaseSignalsHeldFromStart() {
  if (!Hold().held) return;
  Hold().held = false;
  ::pthread_sigmask(SIG_SETMASK, &Hold().startMask, nullptr);
}

void SignalsHeldFromStartTakenOver() {
  Hold().takenOver = true;
}

int SignalHeldWithoutWatch() {
  if (!Hold().held || Hold().takenOver) return 0;
  const sigset_t watched = WatchedSignals();
  const timespec now{};
  const int sig = ::sigtimedwait(&watched, nullptr, &now);
  return sig > 0 ? sig : 0;
}

}  // namespace ovrel::cli
