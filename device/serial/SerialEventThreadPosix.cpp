// The event thread on POSIX: poll on the port and on an eventfd that
// carries the stop request.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "device/serial/SerialPort.h"
#include "device/serial/SerialEventThread.h"

namespace ovrel {

namespace {
// Wait before asking again when the handler left the announced bytes
// unread, or when the port reports readable with nothing counted yet: keeps
// a handler that reads nothing from turning the thread into a busy loop.
constexpr int UnreadRetryMs = 20;
}  // namespace

SerialEventThread::SerialEventThread(SerialPort& owner, int portHandle)
    : owner_(owner), portHandle_(portHandle), stopEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!stopEvent_.Valid()) stopEventError_ = errno;
}

std::optional<SerialError> SerialEventThread::Start() {
  if (!stopEvent_.Valid()) return SerialError{SerialErrorKind::OpenFailed, stopEventError_, {}};
  try {
    thread_ = std::thread([this] { Execute(); });
  } catch (const std::system_error& e) {
    return SerialError{SerialErrorKind::OpenFailed, e.code().value(), {}};
  }
  return std::nullopt;
}

SerialEventThread::~SerialEventThread() {
  if (thread_.joinable()) {
    RequestStop();
    thread_.join();
  }
}

void SerialEventThread::SignalStop() {
  const std::uint64_t one = 1;
  // The eventfd counter cannot overflow from a handful of requests; a
  // failed write would leave the flag, which every wait also checks.
  [[maybe_unused]] ssize_t written = ::write(stopEvent_.Get(), &one, sizeof one);
}

bool SerialEventThread::Pause(int ms) {
  pollfd stop{stopEvent_.Get(), POLLIN, 0};
  while (::poll(&stop, 1, ms) < 0 && errno == EINTR) {
  }
  return stop.revents == 0;
}

void SerialEventThread::Execute() {
  pollfd fds[2] = {{portHandle_, POLLIN, 0}, {stopEvent_.Get(), POLLIN, 0}};
  // Every way out but a stop request means the line is gone.
  bool lineFailed = true;
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) {
      lineFailed = false;
      break;
    }
    const short events = fds[0].revents;
    int count = 0;
    // A port that hung up refuses this request.
    if (::ioctl(portHandle_, FIONREAD, &count) < 0) break;
    if (count > 0) {
      bool consumed = false;
      if (!HandOff(count, consumed)) {
        lineFailed = false;
        break;
      }
      if (!consumed && !Pause(UnreadRetryMs)) {
        lineFailed = false;
        break;
      }
    } else if (events & (POLLHUP | POLLERR | POLLNVAL)) {
      // The device hung up (adapter unplugged, other end closed): nothing
      // more can arrive.
      break;
    } else if (!Pause(UnreadRetryMs)) {
      lineFailed = false;
      break;
    }
  }
  bool stopping = false;
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    stopping = stopRequested_;
    lineFailed_ = lineFailed && !stopping;
  }
  changed_.notify_all();
  // The owner learns of the hang-up from its own thread, at once rather
  // than when a reply it awaits times out.
  if (lineFailed && !stopping) owner_.PostNotification();
}

}  // namespace ovrel
