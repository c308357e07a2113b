#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "device/serial/PortLock.h"
#include "device/serial/UniqueFd.h"

namespace ovrel {

namespace {

// How long a takeover or a release waits for another program's takeover or
// release of the same lock file (each takes a moment).
constexpr auto kFileLockWait = std::chrono::seconds(2);
// Times a lock that changes under our eyes is looked at again before the
// port is called busy.
constexpr int kAttempts = 5;

// The locks this process holds: a lock file naming this process is stale
// unless one of its own PortLocks holds it. Taking and releasing locks is
// one at a time in a process, so that two of its PortLocks never both take
// over the same stale lock.
std::recursive_mutex& LocksMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}
std::set<QString>& HeldHere() {
  static std::set<QString> held;
  return held;
}
bool IsHeldHere(const QString& file) {
  const std::lock_guard<std::recursive_mutex> guard(LocksMutex());
  return HeldHere().count(file) != 0;
}

QString SystemText(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray Encoded(const QString& path) {
  return QFile::encodeName(path);
}

// The folder the serial programs of this machine keep their locks in.
QString LockFolder() {
  for (const char* folder : {"/run/lock", "/var/lock"}) {
    struct stat st {};
    if (::stat(folder, &st) == 0 && S_ISDIR(st.st_mode)) return QString::fromLatin1(folder);
  }
  return {};
}

// The port at path: a terminal device, its name under /dev and whether it
// is a pseudo-terminal.
struct Port {
  struct stat Info {};
  QString Name;  // "ttyUSB0", "pts_3"; for a device outside /dev its numbers
  bool Pseudo = false;
};

std::optional<Port> PortAt(const QString& path) {
  Port port;
  if (::stat(Encoded(path).constData(), &port.Info) < 0 || !S_ISCHR(port.Info.st_mode))
    return std::nullopt;
  // A link to the port (/dev/serial/by-id/...) locks the port itself.
  const QString device = QFileInfo(path).canonicalFilePath();
  if (device.startsWith(QLatin1String("/dev/"))) {
    port.Name = device.mid(5);
    port.Name.replace(QLatin1Char('/'), QLatin1Char('_'));
  } else {
    port.Name = QStringLiteral("dev_%1_%2")
                    .arg(major(port.Info.st_rdev))
                    .arg(minor(port.Info.st_rdev));
  }
  port.Pseudo = device.startsWith(QLatin1String("/dev/pts/"));
  return port;
}

QString LockFileOf(const QString& folder, const Port& port) {
  return folder + QStringLiteral("/LCK..") + port.Name;
}

bool Before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

// The process id a lock file holds: the decimal number its first line
// starts with (padded with spaces, as serial programs write it). Nothing when the file
// holds none.
std::optional<qint64> ReadPid(int fd) {
  char buffer[64] = {};
  const ssize_t got = ::pread(fd, buffer, sizeof buffer - 1, 0);
  if (got <= 0) return std::nullopt;
  // Some programs write their name and user after the number.
  const QByteArray text =
      QByteArray(buffer, static_cast<qsizetype>(got)).split('\n').front().simplified().split(' ').front();
  if (text.isEmpty() || text.size() > 18) return std::nullopt;
  for (const char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  const qint64 pid = text.toLongLong();
  return pid > 0 ? std::optional<qint64>(pid) : std::nullopt;
}

// Whether the lock in `lock` (holding pid) still stands: its process runs
// (for this process, one of its PortLocks holds it), and for a
// pseudo-terminal it was taken after the terminal was made.
bool Stands(qint64 pid, const QString& file, const struct stat& lock, const Port& port) {
  if (port.Pseudo && Before(lock.st_mtim, port.Info.st_ctim)) return false;
  if (pid > INT_MAX) return false;
  if (pid == ::getpid()) return IsHeldHere(file);
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Takes the file lock on fd, waiting a little for another program's.
bool LockFileWithin(int fd) {
  const auto until = std::chrono::steady_clock::now() + kFileLockWait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Whether fd is still the file at path.
bool StillAt(int fd, const QString& path) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && ::lstat(Encoded(path).constData(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

QString KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return QStringLiteral("a symbolic link");
  if (S_ISDIR(mode)) return QStringLiteral("a folder");
  if (S_ISFIFO(mode)) return QStringLiteral("a pipe");
  return QStringLiteral("not a regular file");
}

SerialError Busy() {
  return {SerialErrorKind::OpenFailed, EWOULDBLOCK, {}};
}

SerialError CannotLock(const QString& reason) {
  return {SerialErrorKind::OpenFailed, -1, reason.toStdString()};
}

enum class Step { Taken, Again, Failed };

// Puts the lock at `fresh` in the place of the one at `file` when that one
// no longer stands. Busy when it does; Again when it changed meanwhile.
Step TakeOverIfStale(const QString& fresh, const QString& file, const Port& port,
                     std::optional<SerialError>& error) {
  struct stat named {};
  if (::lstat(Encoded(file).constData(), &named) != 0) {
    if (errno == ENOENT) return Step::Again;
    error = CannotLock(QStringLiteral("the port's lock %1 cannot be read: %2")
                           .arg(file, SystemText(errno)));
    return Step::Failed;
  }
  if (!S_ISREG(named.st_mode)) {
    error = CannotLock(QStringLiteral("%1 is in the way of the port's lock: it is %2, not a lock "
                                      "file; remove it if no program uses the port")
                           .arg(file, KindOf(named.st_mode)));
    return Step::Failed;
  }
  const UniqueFd fd(
      ::open(Encoded(file).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) {
    if (errno == ENOENT || errno == ELOOP) return Step::Again;
    error = CannotLock(QStringLiteral("the port's lock %1 cannot be read: %2")
                           .arg(file, SystemText(errno)));
    return Step::Failed;
  }
  // Every program that replaces or removes this lock file does so holding
  // the file lock on it, and only while the file is still at its name.
  if (!LockFileWithin(fd.Get())) {
    error = Busy();
    return Step::Failed;
  }
  if (!StillAt(fd.Get(), file)) return Step::Again;
  struct stat lock {};
  ::fstat(fd.Get(), &lock);
  const std::optional<qint64> pid = ReadPid(fd.Get());
  if (!pid) {
    error = CannotLock(QStringLiteral("the port's lock %1 holds no process id; remove it if no "
                                      "program uses the port")
                           .arg(file));
    return Step::Failed;
  }
  if (Stands(*pid, file, lock, port)) {
    error = Busy();
    return Step::Failed;
  }
  if (::rename(Encoded(fresh).constData(), Encoded(file).constData()) != 0) {
    error = CannotLock(QStringLiteral("the port's lock %1 names process %2, which has ended, "
                                      "but it cannot be replaced: %3")
                           .arg(file)
                           .arg(*pid)
                           .arg(SystemText(errno)));
    return Step::Failed;
  }
  return Step::Taken;
}

}  // namespace

QString PortLockFile(const QString& path) {
  const std::optional<Port> port = PortAt(path);
  const QString folder = LockFolder();
  return port && !folder.isEmpty() ? LockFileOf(folder, *port) : QString();
}

std::optional<SerialError> PortLock::Acquire(const QString& path) {
  const std::lock_guard<std::recursive_mutex> guard(LocksMutex());
  const std::optional<Port> port = PortAt(path);
  // A port this user may not open needs no lock: opening it says why, which
  // is the first thing to put right.
  const bool forbidden =
      port && ::faccessat(AT_FDCWD, Encoded(path).constData(), R_OK | W_OK, AT_EACCESS) != 0 &&
      (errno == EACCES || errno == EPERM);
  if (!port || forbidden) {
    Release();
    return std::nullopt;
  }
  const QString folder = LockFolder();
  if (folder.isEmpty()) {
    Release();
    return CannotLock(QStringLiteral("there is no folder for the ports' locks (/run/lock or "
                                     "/var/lock)"));
  }
  const QString file = LockFileOf(folder, *port);
  if (Held() && file == lockFile_) return std::nullopt;
  Release();

  // The lock as serial programs write it, complete under a temporary name
  // before it appears under its own.
  QByteArray name = Encoded(folder + QStringLiteral("/LTMP.XXXXXX"));
  UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd.Valid()) {
    return CannotLock(QStringLiteral("the port's lock cannot be made in %1: %2")
                          .arg(folder, SystemText(errno)));
  }
  const QString fresh = QFile::decodeName(name);
  struct Temporary {
    QByteArray Path;
    ~Temporary() {
      if (!Path.isEmpty()) ::unlink(Path.constData());
    }
  } temporary{name};
  const QByteArray pid = QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
  struct stat made {};
  if (::write(fd.Get(), pid.constData(), pid.size()) != pid.size() ||
      ::fchmod(fd.Get(), 0644) != 0 || ::fstat(fd.Get(), &made) != 0 ||
      ::close(fd.Release()) != 0) {
    return CannotLock(QStringLiteral("the port's lock cannot be written in %1: %2")
                          .arg(folder, SystemText(errno)));
  }

  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (::link(name.constData(), Encoded(file).constData()) != 0) {
      if (errno != EEXIST) {
        return CannotLock(QStringLiteral("the port's lock %1 cannot be made: %2")
                              .arg(file, SystemText(errno)));
      }
      std::optional<SerialError> error;
      const Step step = TakeOverIfStale(fresh, file, *port, error);
      if (step == Step::Failed) return error;
      if (step == Step::Again) continue;
      temporary.Path.clear();  // renamed into place
    }
    HeldHere().insert(file);
    lockFile_ = file;
    device_ = made.st_dev;
    inode_ = made.st_ino;
    return std::nullopt;
  }
  return Busy();
}

void PortLock::Release() {
  const std::lock_guard<std::recursive_mutex> guard(LocksMutex());
  if (lockFile_.isEmpty()) return;
  const UniqueFd fd(
      ::open(Encoded(lockFile_).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat open {};
  // Removed only while it is still this lock's (a program that took it over
  // as stale has put its own in its place) and under the file lock that a
  // takeover takes too.
  if (fd.Valid() && LockFileWithin(fd.Get()) && StillAt(fd.Get(), lockFile_) &&
      ::fstat(fd.Get(), &open) == 0 && open.st_dev == device_ && open.st_ino == inode_)
    ::unlink(Encoded(lockFile_).constData());
  HeldHere().erase(lockFile_);
  lockFile_.clear();
}

QString PortLockHolder(const QString& path) {
  const std::optional<Port> port = PortAt(path);
  const QString folder = LockFolder();
  if (!port || folder.isEmpty()) return {};
  const QString file = LockFileOf(folder, *port);
  const UniqueFd fd(
      ::open(Encoded(file).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat lock {};
  if (!fd.Valid() || ::fstat(fd.Get(), &lock) != 0 || !S_ISREG(lock.st_mode)) return {};
  const std::optional<qint64> pid = ReadPid(fd.Get());
  if (!pid || !Stands(*pid, file, lock, *port)) return {};
  QFile comm(QStringLiteral("/proc/%1/comm").arg(*pid));
  const QString name =
      comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
  return name.isEmpty() ? QStringLiteral("process %1").arg(*pid)
                        : QStringLiteral("%1 (process %2)").arg(name).arg(*pid);
}

}  // namespace ovrel
