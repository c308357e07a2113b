#include "cli/Interruption.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace ovrel::cli {

void Interruption::Request(int signal) {
  if (signal_ != 0) return;
  signal_ = signal;
  if (listener_) listener_();
}

QString SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return QStringLiteral("SIGINT");
    case SIGTERM:
      return QStringLiteral("SIGTERM");
    case SIGHUP:
      return QStringLiteral("SIGHUP");
    case SIGQUIT:
      return QStringLiteral("SIGQUIT");
    case SIGUSR1:
      return QStringLiteral("SIGUSR1");
    case SIGUSR2:
      return QStringLiteral("SIGUSR2");
    case SIGALRM:
      return QStringLiteral("SIGALRM");
  }
  return QStringLiteral("signal %1").arg(signal);
}

struct SignalWatch::Notifier {
  QSocketNotifier Socket;
  explicit Notifier(int fd) : Socket(fd, QSocketNotifier::Read) {}
};

SignalWatch::SignalWatch(Interruption& token) {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kWatchedSignals) sigaddset(&set, number);
  // Held back in this thread and in every thread started after it (the
  // serial port's), so that the signalfd alone receives them.
  if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    // Nothing would read them: the signals end the process as before.
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  notifier_ = std::make_unique<Notifier>(fd_);
  QObject::connect(&notifier_->Socket, &QSocketNotifier::activated, &notifier_->Socket,
                   [this, &token] {
                     signalfd_siginfo info{};
                     while (::read(fd_, &info, sizeof info) == sizeof info)
                       token.Request(static_cast<int>(info.ssi_signo));
                   });
}

SignalWatch::~SignalWatch() {
  notifier_.reset();
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace ovrel::cli
