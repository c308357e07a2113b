#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "device/serial/PortLock.h"

namespace ovrel {

namespace {

// The lock file of the port at path; empty when the port cannot be
// identified (then there is nothing to lock).
QString LockFilePath(const QString& path) {
  struct stat port {};
  if (::stat(QFile::encodeName(path).constData(), &port) < 0 || !S_ISCHR(port.st_mode)) return {};
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
    folder = QDir::tempPath();
  return QStringLiteral("%1/ovrel-%2-port-%3-%4.lock")
      .arg(folder)
      .arg(::getuid())
      .arg(major(port.st_rdev))
      .arg(minor(port.st_rdev));
}

// Opens the lock file without following a link planted at its name; a
// file that is not this user's own (another user's in a shared temporary
// folder) is not used.
UniqueFd OpenLockFile(const QString& file, int flags) {
  UniqueFd fd(::open(QFile::encodeName(file).constData(), flags | O_NOFOLLOW | O_CLOEXEC, 0600));
  struct stat info {};
  if (fd.Valid() && (::fstat(fd.Get(), &info) < 0 || !S_ISREG(info.st_mode) ||
                     info.st_uid != ::getuid()))
    fd.Reset();
  return fd;
}

}  // namespace

std::optional<SerialError> PortLock::Acquire(const QString& path) {
  const QString file = LockFilePath(path);
  if (fd_.Valid() && file == lockFile_) return std::nullopt;
  Release();
  if (file.isEmpty()) return std::nullopt;
  UniqueFd fd = OpenLockFile(file, O_RDWR | O_CREAT);
  if (!fd.Valid()) return std::nullopt;
  int locked;
  do {
    locked = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
  } while (locked < 0 && errno == EINTR);
  if (locked < 0) {
    if (errno == EWOULDBLOCK) return SerialError{SerialErrorKind::OpenFailed, EWOULDBLOCK, {}};
    return std::nullopt;
  }
  // Who holds it, for the message another program shows.
  const QByteArray pid = QByteArray::number(::getpid()) + '\n';
  if (::ftruncate(fd.Get(), 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd.Get(), pid.constData(), pid.size(), 0);
  }
  fd_ = std::move(fd);
  lockFile_ = file;
  return std::nullopt;
}

void PortLock::Release() {
  // The file stays: removing it could let two programs lock two files of
  // the same name.
  fd_.Reset();
  lockFile_.clear();
}

QString PortLockHolder(const QString& path) {
  const QString file = LockFilePath(path);
  if (file.isEmpty()) return {};
  UniqueFd fd = OpenLockFile(file, O_RDONLY);
  if (!fd.Valid()) return {};
  // A lock that can be had is held by no one.
  if (::flock(fd.Get(), LOCK_SH | LOCK_NB) == 0) return {};
  char buffer[32] = {};
  const ssize_t got = ::pread(fd.Get(), buffer, sizeof buffer - 1, 0);
  if (got <= 0) return {};
  bool numeric = false;
  const qint64 pid = QByteArray(buffer, static_cast<qsizetype>(got)).trimmed().toLongLong(&numeric);
  if (!numeric || pid <= 0) return {};
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
  return QStringLiteral("%1 (process %2)").arg(name.isEmpty() ? QStringLiteral("?") : name).arg(pid);
}

}  // namespace ovrel
