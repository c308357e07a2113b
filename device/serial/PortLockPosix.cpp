#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
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
// One entry a PortLock: a lock removed under one of them may have been
// taken afresh by another meanwhile.
std::multiset<QString>& HeldHere() {
  static std::multiset<QString> held;
  return held;
}
void ForgetHeldHere(const QString& file) {
  const auto at = HeldHere().find(file);
  if (at != HeldHere().end()) HeldHere().erase(at);
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
QString SystemLockFolder() {
  for (const char* folder : {"/run/lock", "/var/lock"}) {
    struct stat st {};
    if (::stat(folder, &st) == 0 && S_ISDIR(st.st_mode)) return QString::fromLatin1(folder);
  }
  return {};
}

bool Writable(const QString& folder) {
  return !folder.isEmpty() &&
         ::faccessat(AT_FDCWD, Encoded(folder).constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

// Where this program's locks go: the system's folder, or, where this user
// may not write it (a root-owned /run/lock of mode 0755), the user's own
// runtime folder. The system's folder is still looked at then, so that a
// lock another program holds there keeps the port.
struct LockPlace {
  QString System;
  QString Own;
};

LockPlace Place() {
  LockPlace place{SystemLockFolder(), {}};
  if (Writable(place.System)) {
    place.Own = place.System;
    return place;
  }
  const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
  if (runtime.startsWith(QLatin1Char('/')) && QFileInfo(runtime).isDir() && Writable(runtime))
    place.Own = runtime;
  return place;
}

// The port at path: a terminal device, its name under /dev and whether it
// is a pseudo-terminal.
struct Port {
  struct stat Info {};
  QString Name;  // "ttyUSB0", "pts_3"; for a device outside /dev its numbers
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
  return port;
}

QString LockFileOf(const QString& folder, const Port& port) {
  return folder + QStringLiteral("/LCK..") + port.Name;
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

ProcessSignal& SignalFunction() {
  static ProcessSignal signal = &::kill;
  return signal;
}

// Whether the lock naming pid still stands: its process runs (for this
// process, one of its PortLocks holds it). Only a process known to have
// ended gives its lock up: one that this user may not signal (another
// user's) runs as far as anyone here can tell.
bool Stands(qint64 pid, const QString& file) {
  if (pid > INT_MAX) return false;
  if (pid == ::getpid()) return IsHeldHere(file);
  return SignalFunction()(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
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
Step TakeOverIfStale(const QString& fresh, const QString& file, std::optional<SerialError>& error) {
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
  const std::optional<qint64> pid = ReadPid(fd.Get());
  if (!pid) {
    error = CannotLock(QStringLiteral("the port's lock %1 holds no process id; remove it if no "
                                      "program uses the port")
                           .arg(file));
    return Step::Failed;
  }
  if (Stands(*pid, file)) {
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

// The process a standing lock file names, or nothing when there is no
// lock file there or it no longer stands.
std::optional<qint64> StandingHolder(const QString& file) {
  const UniqueFd fd(
      ::open(Encoded(file).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat lock {};
  if (!fd.Valid() || ::fstat(fd.Get(), &lock) != 0 || !S_ISREG(lock.st_mode)) return std::nullopt;
  const std::optional<qint64> pid = ReadPid(fd.Get());
  if (!pid || !Stands(*pid, file)) return std::nullopt;
  return pid;
}

// The lock files that may hold the port: the system's, then this user's own
// when it is elsewhere.
QStringList LockFilesOf(const Port& port) {
  const LockPlace place = Place();
  QStringList files;
  if (!place.System.isEmpty()) files << LockFileOf(place.System, port);
  if (!place.Own.isEmpty() && place.Own != place.System) files << LockFileOf(place.Own, port);
  return files;
}

// Whether process pid has the port open: nothing when its open files cannot
// be seen (another user's process).
std::optional<bool> HasPortOpen(qint64 pid, const Port& port) {
  const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
  if (::access(Encoded(fds.path()).constData(), R_OK | X_OK) != 0) return std::nullopt;
  for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
    struct stat held {};
    if (::stat(Encoded(fds.filePath(fd)).constData(), &held) == 0 && S_ISCHR(held.st_mode) &&
        held.st_rdev == port.Info.st_rdev)
      return true;
  }
  return false;
}

QString ProcessName(qint64 pid) {
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                        : QString();
}

// This process, or another run of this program: it holds its lock across
// the closings inside an operation (the pause of an add).
bool OfThisProgram(qint64 pid) {
  const QString name = ProcessName(pid);
  return pid == ::getpid() || name == QLatin1String("ovrel") || name == QLatin1String("ovrelware");
}

QString ProcessText(qint64 pid) {
  const QString name = ProcessName(pid);
  return name.isEmpty() ? QStringLiteral("process %1").arg(pid)
                        : QStringLiteral("%1 (process %2)").arg(name).arg(pid);
}

}  // namespace

void SetProcessSignalForTests(ProcessSignal signal) {
  SignalFunction() = signal ? signal : &::kill;
}

QString PortLockFile(const QString& path) {
  const std::optional<Port> port = PortAt(path);
  const QString folder = Place().Own;
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
  const LockPlace place = Place();
  if (place.Own.isEmpty()) {
    Release();
    return CannotLock(
        place.System.isEmpty()
            ? QStringLiteral("there is no folder for the ports' locks (/run/lock or /var/lock)")
            : QStringLiteral("this user may not write the ports' lock folder %1, and there is no "
                             "runtime folder of the user's own (XDG_RUNTIME_DIR) to lock the "
                             "port in instead")
                  .arg(place.System));
  }
  const QString file = LockFileOf(place.Own, *port);
  if (Held() && file == lockFile_) return KeepHeld();
  Release();
  // Where the system's folder may not be written, a lock another program
  // holds there still keeps the port.
  if (place.System != place.Own && !place.System.isEmpty() &&
      StandingHolder(LockFileOf(place.System, *port)))
    return Busy();
  return Take(place.Own, file);
}

std::optional<SerialError> PortLock::KeepHeld() {
  struct stat named {};
  if (::lstat(Encoded(lockFile_).constData(), &named) == 0 && named.st_dev == device_ &&
      named.st_ino == inode_)
    return std::nullopt;
  // Removed or replaced meanwhile (the terminal it was taken for has gone
  // and another of the same number was made): it holds nothing any more.
  const QString lost = lockFile_;
  ForgetHeldHere(lockFile_);
  lockFile_.clear();
  file_.Reset();
  return CannotLock(
      QStringLiteral("the port's lock %1 was removed or replaced while this program held it")
          .arg(lost));
}

std::optional<SerialError> PortLock::Take(const QString& folder, const QString& file) {
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
      ::fchmod(fd.Get(), 0644) != 0 || ::fstat(fd.Get(), &made) != 0) {
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
      const Step step = TakeOverIfStale(fresh, file, error);
      if (step == Step::Failed) return error;
      if (step == Step::Again) continue;
      temporary.Path.clear();  // renamed into place
    }
    HeldHere().insert(file);
    lockFile_ = file;
    device_ = made.st_dev;
    inode_ = made.st_ino;
    // Kept open, so that its inode's number is not given to another file
    // while the lock is held: the number tells this lock from any other.
    file_ = std::move(fd);
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
  ForgetHeldHere(lockFile_);
  lockFile_.clear();
  file_.Reset();
}

QString PortLockHolder(const QString& path) {
  const std::optional<Port> port = PortAt(path);
  if (!port) return {};
  for (const QString& file : LockFilesOf(*port)) {
    const std::optional<qint64> pid = StandingHolder(file);
    if (!pid) continue;
    // A process that holds the lock without the port open may be a serial
    // program between two openings, or an unrelated one that was given
    // the number of a holder that ended: the user is told which file to
    // remove in that case.
    if (!OfThisProgram(*pid) && HasPortOpen(*pid, *port) == false) {
      return QStringLiteral(
                 "%1, whose lock %2 holds the port although it does not have the "
                 "port open (if it is no serial program, the lock was left by one that "
                 "ended: removing %2 frees the port)")
          .arg(ProcessText(*pid), file);
    }
    return ProcessText(*pid);
  }
  return {};
}

}  // namespace ovrel
