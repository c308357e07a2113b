// The watch the fault matrix relies on to tell a link that waits in the
// event loop from one that sleeps beside it: each way of blocking the
// loop's thread is seen, the loop's own waits and other threads' sleeps are
// not.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "support/LoopBlockWatch.h"

namespace ovrel::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = std::chrono::microseconds(2000);

// Runs work from a timer on the loop, as a device callback runs, and
// returns what the watch saw.
std::vector<SleepingCall> SleptWhileRunning(const std::function<void()>& work, int* loopWaits) {
  LoopBlockWatch watch;
  bool ran = false;
  QTimer::singleShot(5, [&] {
    work();
    ran = true;
  });
  EXPECT_TRUE(RunLoopUntil([&] { return ran; }, 1min));
  if (loopWaits) *loopWaits = watch.LoopWaits();
  return watch.LongerThan(kLimit);
}

struct BlockingWay {
  const char* Name;
  std::function<void()> Block;
};

TEST(LoopBlockWatch, EveryWayOfBlockingTheLoopsThreadIsSeen) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);  // a reply that never comes
  std::mutex m;
  std::condition_variable replied;
  const BlockingWay ways[] = {
      {"sleep_for", [] { std::this_thread::sleep_for(20ms); }},
      {"QThread::msleep", [] { QThread::msleep(20); }},
      {"poll",
       [&] {
         pollfd in{fds[0], POLLIN, 0};
         ::poll(&in, 1, 20);
       }},
      {"condition wait_for",
       [&] {
         std::unique_lock lock(m);
         replied.wait_for(lock, 20ms);
       }},
      {"usleep", [] { ::usleep(20'000); }},
  };
  for (const BlockingWay& way : ways) {
    const std::vector<SleepingCall> seen = SleptWhileRunning(way.Block, nullptr);
    ASSERT_EQ(seen.size(), 1u) << way.Name << "\n" << Describe(seen);
    EXPECT_GE(seen[0].Asked, 19ms) << way.Name;
  }
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(LoopBlockWatch, TheLoopsOwnWaitsShortSleepsAndOtherThreadsPass) {
  int loopWaits = 0;
  const auto seen = SleptWhileRunning(
      [] {
        std::this_thread::sleep_for(1ms);  // the rest of a timer's wait
        std::thread other([] { std::this_thread::sleep_for(30ms); });
        other.join();
      },
      &loopWaits);
  EXPECT_TRUE(seen.empty()) << Describe(seen);
  EXPECT_GT(loopWaits, 0);

  // A long wait by timer is the loop's wait.
  LoopBlockWatch watch;
  bool fired = false;
  QTimer::singleShot(50, [&] { fired = true; });
  ASSERT_TRUE(RunLoopUntil([&] { return fired; }, 1min));
  EXPECT_TRUE(watch.LongerThan(kLimit).empty()) << Describe(watch.LongerThan(kLimit));
  EXPECT_GT(watch.LoopWaits(), 0);
}

}  // namespace
}  // namespace ovrel::test
