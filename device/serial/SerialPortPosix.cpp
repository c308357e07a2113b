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

#include "device/serial/SerialEventThread.h"
#include "device/serial/SerialPort.h"
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
  explicit ExclusiveUse(int fd) : fd_(fd) {}
  ~ExclusiveUse() {
    if (fd_ >= 0) ::ioctl(fd_, TIOCNXCL);
  }
  ExclusiveUse(const ExclusiveUse&) = delete;
  ExclusiveUse& operator=(const ExclusiveUse&) = delete;
  void Keep() { fd_ = -1; }

 private:
  int fd_;
};

// A port whose line went down fails its writes and reads with one of these.
bool LineGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV;
}

SerialError Failed(SerialErrorKind kind, int systemError) {
  // A hang-up reads the same whichever call noticed it.
  if ((kind == SerialErrorKind::WriteFailed || kind == SerialErrorKind::ReadFailed) &&
      LineGone(systemError))
    return {SerialErrorKind::HungUp, -1, {}};
  return {kind, systemError, {}};
}

SerialError ConsoleRefused(const QString& port) {
  return {SerialErrorKind::OpenFailed, -1,
          port.toStdString() +
              " is the system console; it is never opened as the device's port"};
}

}  // namespace

std::optional<SerialError> SerialPort::Open(const QString& path) {
  if (open_ && path == path_) return std::nullopt;
  Close();
  path_ = path;
  using enum SerialErrorKind;
  // Checked before the opening (which alone may change the line) and again
  // on what was opened, in case the path was replaced in between.
  const QByteArray name = path.toLocal8Bit();
  struct stat info {};
  if (::stat(name.constData(), &info) == 0 && S_ISCHR(info.st_mode) &&
      IsSystemConsole(info.st_rdev))
    return ConsoleRefused(path);
  UniqueFd port(::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!port.Valid()) return Failed(OpenFailed, errno);
  if (::fstat(port.Get(), &info) == 0 && S_ISCHR(info.st_mode) && IsSystemConsole(info.st_rdev))
    return ConsoleRefused(path);
  // The lock keeps out every other opener that asks for it, root included;
  // the terminal's exclusive flag keeps out other users' plain opens.
  if (::flock(port.Get(), LOCK_EX | LOCK_NB) < 0) return Failed(OpenFailed, errno);
  if (::ioctl(port.Get(), TIOCEXCL) < 0) return Failed(OpenFailed, errno);
  ExclusiveUse exclusive(port.Get());
  // Programs that open a port without locking it (terminal programs, cat)
  // would share the line with the device's frames.
  if (!PortHolder(path).isEmpty()) return Failed(OpenFailed, EBUSY);

  if (auto error = ApplySettings(port.Get())) return error;
  // Start with empty queues, whatever arrived before this opening.
  ::tcflush(port.Get(), TCIOFLUSH);

  auto thread = std::make_unique<SerialEventThread>(*this, port.Get());
  if (auto error = thread->Start()) return error;
  handle_ = port.Get();
  readInNotification_ = 0;
  ++openCount_;
  thread_ = std::move(thread);
  exclusive.Keep();
  port.Release();
  open_ = true;
  if (auto error = ReadModemLines()) {
    Close();
    return error;
  }
  return std::nullopt;
}

std::optional<SerialError> SerialPort::ApplySettings(int handle) {
  using enum SerialErrorKind;
  // The driver's queues have fixed sizes here.
  termios tio{};
  if (::tcgetattr(handle, &tio) < 0) return Failed(SetStateFailed, errno);
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  tio.c_iflag |= IGNBRK;
  // A read returns at once with what has arrived.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  static_assert(serial::kBaudRate == 38400 && serial::kDataBits == 8 && serial::kStopBits == 1);
  if (::cfsetispeed(&tio, B38400) < 0 || ::cfsetospeed(&tio, B38400) < 0)
    return Failed(SetStateFailed, errno);
  if (::tcsetattr(handle, TCSANOW, &tio) < 0) return Failed(SetStateFailed, errno);
  // tcsetattr succeeds when any part applied; check the parts that matter.
  termios applied{};
  if (::tcgetattr(handle, &applied) < 0) return Failed(SetStateFailed, errno);
  if ((applied.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) != CS8 ||
      ::cfgetospeed(&applied) != B38400)
    return Failed(SetStateFailed, EINVAL);
  if (applied.c_cc[VMIN] != 0 || applied.c_cc[VTIME] != 0)
    return Failed(SetTimeoutsFailed, EINVAL);

  // DTR and RTS off from the opening on.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(handle, TIOCMBIC, &lines) < 0 && !NoModemLines(errno))
    return Failed(SetStateFailed, errno);
  return std::nullopt;
}

std::optional<SerialError> SerialPort::ReadModemLines() {
  // The lines are read once, as a check that the port answers; nothing here
  // uses their states.
  int lines = 0;
  if (::ioctl(handle_, TIOCMGET, &lines) < 0 && !NoModemLines(errno))
    return Failed(SerialErrorKind::ModemStatFailed, errno);
  return std::nullopt;
}

void SerialPort::Close() {
  if (!open_ || closing_) return;
  closing_ = true;
  StopThread();
  // Unread input and unsent output are discarded. Errors are of no use
  // here: a port that hung up refuses this, and is released all the same.
  ::tcflush(handle_, TCIOFLUSH);
  ::ioctl(handle_, TIOCNXCL);
  ::close(handle_);
  handle_ = -1;
  open_ = false;
  closing_ = false;
}

std::optional<SerialError> SerialPort::Write(const void* buffer, int count) {
  using enum SerialErrorKind;
  if (!open_) return Failed(WriteFailed, EBADF);
  if (count <= 0) return std::nullopt;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(static_cast<long long>(serial::kWriteMsPerByte) *
                                                   count +
                                               serial::kWriteMsConstant);
  const char* next = static_cast<const char*>(buffer);
  int left = count;
  while (left > 0) {
    const ssize_t written = ::write(handle_, next, static_cast<size_t>(left));
    if (written > 0) {
      next += written;
      left -= static_cast<int>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return Failed(WriteFailed, errno);
    const int wait = MillisecondsLeft(deadline);
    if (wait <= 0) return Failed(WriteFailed, ETIMEDOUT);
    pollfd writable{handle_, POLLOUT, 0};
    if (::poll(&writable, 1, wait) < 0 && errno != EINTR) return Failed(WriteFailed, errno);
    if ((writable.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(writable.revents & POLLOUT))
      return Failed(HungUp, -1);
  }
  // Complete when the driver has sent everything, within the same deadline.
  for (;;) {
    int queued = 0;
    if (::ioctl(handle_, TIOCOUTQ, &queued) < 0) return Failed(WriteFailed, errno);
    if (queued <= 0) break;
    const int wait = MillisecondsLeft(deadline);
    if (wait <= 0) return Failed(WriteFailed, ETIMEDOUT);
    // About the time the queued bytes need on the line (10 bits a byte),
    // and at least a tenth of a millisecond: a pseudo-terminal's reader
    // takes them at once, and a whole millisecond would add up over an
    // upload.
    const auto line = std::chrono::microseconds(std::max<long long>(
        100, static_cast<long long>(queued) * 10 * 1'000'000 / serial::kBaudRate));
    std::this_thread::sleep_for(
        std::min<std::chrono::microseconds>(line, std::chrono::milliseconds(wait)));
  }
  return std::nullopt;
}

SerialRead SerialPort::Read(void* buffer, int count) {
  if (!open_) return {0, Failed(SerialErrorKind::ReadFailed, EBADF)};
  if (count <= 0) return {};
  ssize_t got;
  do {
    got = ::read(handle_, buffer, static_cast<size_t>(count));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno != EAGAIN) return {0, Failed(SerialErrorKind::ReadFailed, errno)};
    got = 0;
  }
  readInNotification_ += static_cast<int>(got);
  return {static_cast<int>(got), std::nullopt};
}

}  // namespace ovrel
