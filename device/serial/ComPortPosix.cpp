// Opening, closing, writing and reading a serial port on POSIX.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "device/serial/ComPort.h"
#include "device/serial/ComThread.h"
#include "device/serial/PortHolder.h"
#include "device/serial/SystemConsole.h"
#include "device/serial/UniqueFd.h"

namespace ovrel {

namespace {

using Clock = std::chrono::steady_clock;

// Ports without modem lines (pseudo-terminals, some adapters) refuse the
// modem-line requests with one of these; that is not a failure.
bool NoModemLines(int error) {
  return error == ENOTTY || error == EINVAL;
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Holds the exclusive-use flag of a terminal until released.
class ExclusiveUse {
 public:
  explicit ExclusiveUse(int fd) : FFd(fd) {}
  ~ExclusiveUse() {
    if (FFd >= 0) ::ioctl(FFd, TIOCNXCL);
  }
  ExclusiveUse(const ExclusiveUse&) = delete;
  ExclusiveUse& operator=(const ExclusiveUse&) = delete;
  void Keep() { FFd = -1; }

 private:
  int FFd;
};

EComPort ConsoleRefused(const QString& port) {
  return EComPort(CError_OpenFailed, port.toStdString() +
                                         " is the system console; it is never opened as the "
                                         "device's port");
}

}  // namespace

void TCustomComPort::Open() {
  if (FConnected) return;
  // Checked before the opening (which alone may change the line) and again
  // on what was opened, in case the path was replaced in between.
  const QByteArray path = FPort.toLocal8Bit();
  struct stat info {};
  if (::stat(path.constData(), &info) == 0 && S_ISCHR(info.st_mode) &&
      IsSystemConsole(info.st_rdev))
    throw ConsoleRefused(FPort);
  UniqueFd port(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!port.Valid()) throw EComPort(CError_OpenFailed, errno);
  if (::fstat(port.Get(), &info) == 0 && S_ISCHR(info.st_mode) && IsSystemConsole(info.st_rdev))
    throw ConsoleRefused(FPort);
  // The lock keeps out every other opener that asks for it, root included;
  // the terminal's exclusive flag keeps out other users' plain opens.
  if (::flock(port.Get(), LOCK_EX | LOCK_NB) < 0) throw EComPort(CError_OpenFailed, errno);
  if (::ioctl(port.Get(), TIOCEXCL) < 0) throw EComPort(CError_OpenFailed, errno);
  ExclusiveUse exclusive(port.Get());
  // Programs that open a port without locking it (terminal programs, cat)
  // would share the line with the device's frames.
  if (!PortHolder(FPort).isEmpty()) throw EComPort(CError_OpenFailed, EBUSY);

  ApplySettings(port.Get());
  // Start with empty queues, whatever arrived before this opening.
  ::tcflush(port.Get(), TCIOFLUSH);

  FHandle = port.Get();
  FReadInRxChar = 0;
  ++FOpenCount;
  try {
    FThread = std::make_unique<TComThread>(*this, FHandle);
  } catch (...) {
    FHandle = -1;
    throw;
  }
  exclusive.Keep();
  port.Release();
  FConnected = true;
  ReadModemLines();
}

void TCustomComPort::ApplySettings(int handle) {
  // The driver's queues have fixed sizes here; Buffer only records the
  // recommended ones.
  termios tio{};
  if (::tcgetattr(handle, &tio) < 0) throw EComPort(CError_SetStateFailed, errno);
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_iflag |= IGNBRK;
  // A read returns at once with what has arrived.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, B38400) < 0 || ::cfsetospeed(&tio, B38400) < 0)
    throw EComPort(CError_SetStateFailed, errno);
  if (::tcsetattr(handle, TCSANOW, &tio) < 0) throw EComPort(CError_SetStateFailed, errno);
  // tcsetattr succeeds when any part applied; check the parts that matter.
  termios applied{};
  if (::tcgetattr(handle, &applied) < 0) throw EComPort(CError_SetStateFailed, errno);
  if ((applied.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) != CS8 ||
      ::cfgetospeed(&applied) != B38400)
    throw EComPort(CError_SetStateFailed, EINVAL);
  if (applied.c_cc[VMIN] != 0 || applied.c_cc[VTIME] != 0)
    throw EComPort(CError_SetTimeoutsFailed, EINVAL);

  // DTR and RTS off from the opening on.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(handle, TIOCMBIC, &lines) < 0 && !NoModemLines(errno))
    throw EComPort(CError_SetStateFailed, errno);
}

void TCustomComPort::ReadModemLines() {
  // The lines are read once, as a check that the port answers; nothing here
  // uses their states.
  int lines = 0;
  if (::ioctl(FHandle, TIOCMGET, &lines) < 0 && !NoModemLines(errno))
    throw EComPort(CError_ModemStatFailed, errno);
}

void TCustomComPort::Close() {
  if (!FConnected || FClosing) return;
  FClosing = true;
  StopThread();
  // Unread input and unsent output are discarded. Errors are of no use
  // here: a port that hung up refuses this, and is released all the same.
  ::tcflush(FHandle, TCIOFLUSH);
  ::ioctl(FHandle, TIOCNXCL);
  ::close(FHandle);
  FHandle = -1;
  FConnected = false;
  FClosing = false;
}

int TCustomComPort::Write(const void* buffer, int count) {
  if (!FConnected) throw EComPort(CError_WriteFailed, EBADF);
  if (count <= 0) return 0;
  const auto deadline =
      Clock::now() +
      std::chrono::milliseconds(static_cast<long long>(FTimeouts.WriteTotalMultiplier) * count +
                                FTimeouts.WriteTotalConstant);
  const char* next = static_cast<const char*>(buffer);
  int left = count;
  while (left > 0) {
    const ssize_t written = ::write(FHandle, next, static_cast<size_t>(left));
    if (written > 0) {
      next += written;
      left -= static_cast<int>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) throw EComPort(CError_WriteFailed, errno);
    const int wait = MillisecondsLeft(deadline);
    if (wait <= 0) throw EComPort(CError_WriteFailed, ETIMEDOUT);
    pollfd writable{FHandle, POLLOUT, 0};
    if (::poll(&writable, 1, wait) < 0 && errno != EINTR) throw EComPort(CError_WriteFailed, errno);
    if ((writable.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(writable.revents & POLLOUT))
      throw EComPort(CError_WriteFailed, EIO);
  }
  // Complete when the driver has sent everything, within the same deadline.
  for (;;) {
    int queued = 0;
    if (::ioctl(FHandle, TIOCOUTQ, &queued) < 0) throw EComPort(CError_WriteFailed, errno);
    if (queued <= 0) break;
    const int wait = MillisecondsLeft(deadline);
    if (wait <= 0) throw EComPort(CError_WriteFailed, ETIMEDOUT);
    // About the time the queued bytes need on the line (10 bits a byte),
    // and at least a tenth of a millisecond: a pseudo-terminal's reader
    // takes them at once, and a whole millisecond would add up over an
    // upload.
    const auto line = std::chrono::microseconds(
        std::max<long long>(100, static_cast<long long>(queued) * 10 * 1'000'000 / 38400));
    std::this_thread::sleep_for(std::min<std::chrono::microseconds>(line, std::chrono::milliseconds(wait)));
  }
  return count;
}

int TCustomComPort::Read(void* buffer, int count) {
  if (!FConnected) throw EComPort(CError_ReadFailed, EBADF);
  if (count <= 0) return 0;
  ssize_t got;
  do {
    got = ::read(FHandle, buffer, static_cast<size_t>(count));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno != EAGAIN) throw EComPort(CError_ReadFailed, errno);
    got = 0;
  }
  FReadInRxChar += static_cast<int>(got);
  return static_cast<int>(got);
}

}  // namespace ovrel
