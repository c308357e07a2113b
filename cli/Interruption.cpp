#include "cli/Interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "cli/CliLinkUi.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"

namespace ovrel::cli::interruption {

namespace {

volatile std::sig_atomic_t received = 0;
int wakeRead = -1;
int wakeWrite = -1;
bool writing = false;
bool finishingSaid = false;
std::function<void()> stopHandler;

extern "C" void OnSignal(int number) {
  const int savedErrno = errno;
  if (received == 0) received = number;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
  errno = savedErrno;
}

QString SignalName(int number) {
  switch (number) {
    case SIGINT:
      return QStringLiteral("SIGINT");
    case SIGTERM:
      return QStringLiteral("SIGTERM");
    case SIGHUP:
      return QStringLiteral("SIGHUP");
  }
  return QStringLiteral("signal %1").arg(number);
}

// Runs in the event loop after a signal.
void Act() {
  if (received == 0) return;
  if (writing) {
    if (!finishingSaid) {
      Say(QStringLiteral("Finishing the write to Sorvani before stopping..."));
      finishingSaid = true;
    }
    return;
  }
  if (stopHandler) stopHandler();
}

}  // namespace

void Install() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) < 0) return;
  wakeRead = fds[0];
  wakeWrite = fds[1];
  auto* notifier = new QSocketNotifier(wakeRead, QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    char drain[64];
    while (::read(wakeRead, drain, sizeof drain) > 0) {
    }
    Act();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(number, &action, nullptr);
}

int Signal() {
  return received;
}

void SetWriting(bool on) {
  writing = on;
  // A signal that waited for the write acts now.
  if (!on) Act();
}

void SetStopHandler(std::function<void()> stop) {
  stopHandler = std::move(stop);
}

int Stopped() {
  const QString text = QStringLiteral("Stopped by %1.").arg(SignalName(received));
  Say(text);
  NoteOutcome(text);
  return ExitSignal + received;
}

}  // namespace ovrel::cli::interruption
