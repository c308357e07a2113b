// The wrappers below take the place of the C library's sleeping calls in the
// test program (the program exports them, so that calls from Qt and GLib
// come here too) and hand each call on to the next definition.
#undef _FORTIFY_SOURCE
#include "support/LoopBlockWatch.h"

#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <sstream>

namespace ovrel::test {
namespace {

thread_local LoopBlockWatch::State* t_watched = nullptr;

constexpr long long kWithoutEnd = -1;

bool CalledFromGlibLoop(const void* caller) {
  Dl_info info{};
  return ::dladdr(caller, &info) != 0 && info.dli_fname != nullptr &&
         std::strstr(info.dli_fname, "libglib-2.0") != nullptr;
}

void Note(const char* function, long long askedUs, const void* caller) {
  LoopBlockWatch::State* s = t_watched;
  if (s == nullptr) return;
  if (s->LoopAboutToWait || CalledFromGlibLoop(caller)) {
    s->LoopAboutToWait = false;
    ++s->LoopWaits;
    return;
  }
  if (askedUs == 0) return;
  t_watched = nullptr;  // recording may allocate; nothing it calls is noted
  s->Calls.push_back({function, std::chrono::microseconds(askedUs)});
  t_watched = s;
}

long long Us(const timespec* t) {
  return t == nullptr ? kWithoutEnd : t->tv_sec * 1'000'000LL + t->tv_nsec / 1000;
}

long long UsUntil(clockid_t clock, const timespec* at) {
  timespec now{};
  ::clock_gettime(clock, &now);
  const long long left = Us(at) - Us(&now);
  return left > 0 ? left : 0;
}

// A condition's deadline is on the clock the condition was made with: the
// monotonic clock's readings lie far below the calendar's.
long long UsUntilEitherClock(const timespec* at) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return at->tv_sec > now.tv_sec - 1'000'000 ? UsUntil(CLOCK_REALTIME, at)
                                             : UsUntil(CLOCK_MONOTONIC, at);
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace
}  // namespace ovrel::test

using ovrel::test::Note;
using ovrel::test::Us;

extern "C" {

int poll(pollfd* fds, nfds_t count, int timeoutMs) {
  static const auto next = ovrel::test::Next<int (*)(pollfd*, nfds_t, int)>("poll");
  Note("poll", timeoutMs < 0 ? -1 : timeoutMs * 1000LL, __builtin_return_address(0));
  return next(fds, count, timeoutMs);
}

int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
  static const auto next =
      ovrel::test::Next<int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*)>("ppoll");
  Note("ppoll", Us(timeout), __builtin_return_address(0));
  return next(fds, count, timeout, mask);
}

int select(int n, fd_set* r, fd_set* w, fd_set* e, timeval* timeout) {
  static const auto next =
      ovrel::test::Next<int (*)(int, fd_set*, fd_set*, fd_set*, timeval*)>("select");
  Note("select", timeout == nullptr ? -1 : timeout->tv_sec * 1'000'000LL + timeout->tv_usec,
       __builtin_return_address(0));
  return next(n, r, w, e, timeout);
}

int pselect(int n, fd_set* r, fd_set* w, fd_set* e, const timespec* timeout, const sigset_t* mask) {
  static const auto next =
      ovrel::test::Next<int (*)(int, fd_set*, fd_set*, fd_set*, const timespec*, const sigset_t*)>(
          "pselect");
  Note("pselect", Us(timeout), __builtin_return_address(0));
  return next(n, r, w, e, timeout, mask);
}

int epoll_wait(int fd, epoll_event* events, int count, int timeoutMs) {
  static const auto next = ovrel::test::Next<int (*)(int, epoll_event*, int, int)>("epoll_wait");
  Note("epoll_wait", timeoutMs < 0 ? -1 : timeoutMs * 1000LL, __builtin_return_address(0));
  return next(fd, events, count, timeoutMs);
}

int nanosleep(const timespec* asked, timespec* left) {
  static const auto next = ovrel::test::Next<int (*)(const timespec*, timespec*)>("nanosleep");
  Note("nanosleep", Us(asked), __builtin_return_address(0));
  return next(asked, left);
}

int clock_nanosleep(clockid_t clock, int flags, const timespec* asked, timespec* left) {
  static const auto next =
      ovrel::test::Next<int (*)(clockid_t, int, const timespec*, timespec*)>("clock_nanosleep");
  Note("clock_nanosleep",
       (flags & TIMER_ABSTIME) != 0 ? ovrel::test::UsUntil(clock, asked) : Us(asked),
       __builtin_return_address(0));
  return next(clock, flags, asked, left);
}

int usleep(useconds_t us) {
  static const auto next = ovrel::test::Next<int (*)(useconds_t)>("usleep");
  Note("usleep", us, __builtin_return_address(0));
  return next(us);
}

int pthread_cond_timedwait(pthread_cond_t* cond, pthread_mutex_t* mutex, const timespec* at) {
  static const auto next =
      ovrel::test::Next<int (*)(pthread_cond_t*, pthread_mutex_t*, const timespec*)>(
          "pthread_cond_timedwait");
  Note("pthread_cond_timedwait", ovrel::test::UsUntilEitherClock(at), __builtin_return_address(0));
  return next(cond, mutex, at);
}

int pthread_cond_clockwait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock,
                           const timespec* at) {
  static const auto next =
      ovrel::test::Next<int (*)(pthread_cond_t*, pthread_mutex_t*, clockid_t, const timespec*)>(
          "pthread_cond_clockwait");
  Note("pthread_cond_clockwait", ovrel::test::UsUntil(clock, at), __builtin_return_address(0));
  return next(cond, mutex, clock, at);
}

}  // extern "C"

namespace ovrel::test {

LoopBlockWatch::LoopBlockWatch() : outer_(t_watched) {
  aboutToBlock_ = QObject::connect(QAbstractEventDispatcher::instance(),
                                   &QAbstractEventDispatcher::aboutToBlock,
                                   [this] { state_.LoopAboutToWait = true; });
  t_watched = &state_;
}

LoopBlockWatch::~LoopBlockWatch() {
  t_watched = outer_;
  QObject::disconnect(aboutToBlock_);
}

std::vector<SleepingCall> LoopBlockWatch::LongerThan(std::chrono::microseconds limit) const {
  std::vector<SleepingCall> out;
  for (const SleepingCall& call : state_.Calls)
    if (call.Asked.count() < 0 || call.Asked > limit) out.push_back(call);
  return out;
}

int LoopBlockWatch::LoopWaits() const {
  return state_.LoopWaits;
}

bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  bool over = false;
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, [&over] { over = true; });
  limit.start(bound);
  while (!done() && !over) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

std::string Describe(const std::vector<SleepingCall>& calls) {
  std::ostringstream out;
  for (const SleepingCall& call : calls)
    out << call.Function << " asked for "
        << (call.Asked.count() < 0 ? std::string("no end")
                                   : std::to_string(call.Asked.count()) + " us")
        << "\n";
  return out.str();
}

}  // namespace ovrel::test
