// Watches the thread of an event loop for calls that put it to sleep outside
// the loop's own wait. A wait slept there (a settle delay, a reply awaited
// with a blocking read) freezes every window for its whole length, whatever
// the machine's load; a busy machine only makes it longer.
//
// The sleeping calls of the C library (poll, ppoll, select, pselect,
// epoll_wait, nanosleep, clock_nanosleep, usleep and the timed waits of a
// condition) are wrapped in the test program. While a watch runs, each one
// made on its thread is recorded with the time it asked to sleep, unless it
// is the event loop's own wait: the first after the dispatcher announced
// that it is about to block, or one made from GLib's main loop.
#pragma once

#include <QMetaObject>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ovrel::test {

struct SleepingCall {
  std::string Function;
  std::chrono::microseconds Asked;  // negative: without end
};

class LoopBlockWatch {
 public:
  // Watches the calling thread, which must run an event loop.
  LoopBlockWatch();
  ~LoopBlockWatch();
  LoopBlockWatch(const LoopBlockWatch&) = delete;
  LoopBlockWatch& operator=(const LoopBlockWatch&) = delete;

  // The calls outside the loop's wait that asked to sleep longer than limit.
  std::vector<SleepingCall> LongerThan(std::chrono::microseconds limit) const;
  // How often the loop itself waited: a watch that saw none watched nothing.
  int LoopWaits() const;

  struct State {
    std::vector<SleepingCall> Calls;
    bool LoopAboutToWait = false;
    int LoopWaits = 0;
  };

 private:
  State state_;
  State* outer_;
  QMetaObject::Connection aboutToBlock_;
};

// Runs the event loop (waiting in it, never sleeping beside it) until done()
// holds or bound has passed; returns done().
bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds bound);

// For a failed expectation: one line per call.
std::string Describe(const std::vector<SleepingCall>& calls);

}  // namespace ovrel::test
