#include "app/EndSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace ovrel {

namespace {

constexpr std::array kEndSignals = {SIGINT, SIGTERM, SIGHUP};

// The pipe's write end, for the handler; -1 while none lives.
volatile std::sig_atomic_t gWriteEnd = -1;

extern "C" void OnEndSignal(int signal) {
  // Only what is safe in a handler: one write, errno kept.
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  if (gWriteEnd >= 0) [[maybe_unused]]
    const auto written = ::write(gWriteEnd, &number, 1);
  errno = saved;
}

}  // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gWriteEnd = pipe_[1];
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kEndSignals) ::sigaction(number, &action, nullptr);
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &EndSignals::ReadSignals);
}

EndSignals::~EndSignals() {
  for (const int number : kEndSignals) std::signal(number, SIG_DFL);
  gWriteEnd = -1;
  for (const int fd : pipe_)
    if (fd >= 0) ::close(fd);
}

void EndSignals::ReadSignals() {
  unsigned char number = 0;
  while (::read(pipe_[0], &number, 1) == 1) emit Requested(number);
}

}  // namespace ovrel
