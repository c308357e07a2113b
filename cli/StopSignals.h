#pragma once
// SIGINT, SIGTERM and SIGHUP held back while a file is written, so that a
// stop never cuts a write off or leaves its temporary file behind. The
// signals wait, blocked, until Arrived() takes one; the former signal mask
// comes back at the end. Only ovrel's own process takes its signals over
// (tests run commands in-process).

#include <csignal>

#include "cli/Interruption.h"

namespace ovrel::cli {

class HeldStopSignals {
 public:
  explicit HeldStopSignals(bool takeOver);
  ~HeldStopSignals();
  HeldStopSignals(const HeldStopSignals&) = delete;
  HeldStopSignals& operator=(const HeldStopSignals&) = delete;

  // The stop signal that arrived (taken, so it never ends the process), or 0.
  int Arrived();

 private:
  bool held_;
  int stop_ = 0;
  sigset_t signals_{};
  sigset_t saved_{};
};

// The signals a device command watches (kWatchedSignals), held back from
// ovrel's first moment on: one that arrives before the command's watch
// starts waits for the watch instead of ending ovrel without a result.
// Called first thing in main; a command that watches no signals lets them
// go again before it runs, so that they act on it as they always did.
void HoldSignalsFromStart();
// Back to the signal mask ovrel was started with; a held signal that
// arrived meanwhile takes its effect now. Does nothing without the hold.
void ReleaseSignalsHeldFromStart();
// A device command's signal watch reads the held signals from now on.
void SignalsHeldFromStartTakenOver();
// After a device command that ended before its watch started (wrong
// usage): the held signal that arrived meanwhile (taken, so it never ends
// the process), or 0. 0 too once the watch took them over.
int SignalHeldWithoutWatch();

}  // namespace ovrel::cli
