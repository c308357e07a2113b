#pragma once
// SIGINT, SIGTERM and SIGHUP held back while a file is written, so that a
// stop never cuts a write off or leaves its temporary file behind. The
// signals wait, blocked, until Arrived() takes one; the former signal mask
// comes back at the end. Only ovrel's own process takes its signals over
// (tests run commands in-process).

#include <csignal>

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

}  // namespace ovrel::cli
