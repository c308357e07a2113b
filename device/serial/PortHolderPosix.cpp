#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <optional>

#include "device/serial/PortHolder.h"

namespace ovrel {

namespace {

// Pseudo-terminal port sides have majors 136 to 143; their masters are all
// opened through /dev/ptmx (5, 2).
constexpr unsigned kFirstPtsMajor = 136;
constexpr unsigned kLastPtsMajor = 143;
const dev_t kPtmx = makedev(5, 2);

std::optional<int> PtyIndex(dev_t rdev) {
  const unsigned majorNo = major(rdev);
  if (majorNo < kFirstPtsMajor || majorNo > kLastPtsMajor) return std::nullopt;
  return static_cast<int>((majorNo - kFirstPtsMajor) * 256 + minor(rdev));
}

// The pseudo-terminal index the master at /proc/PID/fdinfo/FD stands for.
std::optional<int> MasterIndex(const QString& fdinfo) {
  QFile file(fdinfo);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (!line.startsWith("tty-index:")) continue;
    bool ok = false;
    const int index = line.mid(10).trimmed().toInt(&ok);
    if (ok) return index;
  }
  return std::nullopt;
}

QString ProcessName(const QDir& proc, const QString& pid) {
  QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
  return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                         : QString();
}

// The numbered entries of /proc, other than this process.
QStringList OtherProcesses(const QDir& proc) {
  const QString self = QString::number(::getpid());
  QStringList pids;
  for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool numeric = false;
    pid.toInt(&numeric);
    if (numeric && pid != self) pids << pid;
  }
  return pids;
}

}  // namespace

QString PortHolder(const QString& path) {
  struct stat port {};
  if (::stat(path.toLocal8Bit().constData(), &port) < 0 || !S_ISCHR(port.st_mode)) return {};
  const std::optional<int> ptyIndex = PtyIndex(port.st_rdev);
  const QDir proc(QStringLiteral("/proc"));
  for (const QString& pid : OtherProcesses(proc)) {
    // Compared by device number, so that links to the port count too.
    const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
    bool holdsPort = false;
    bool isTheDevice = false;
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
      struct stat held {};
      if (::stat(fds.filePath(fd).toLocal8Bit().constData(), &held) < 0) continue;
      if (!S_ISCHR(held.st_mode)) continue;
      if (held.st_rdev == port.st_rdev) holdsPort = true;
      // A program with the other end of a pseudo-terminal open is the
      // device (an emulator), not a competitor for the port.
      if (ptyIndex && held.st_rdev == kPtmx &&
          MasterIndex(proc.filePath(pid + QStringLiteral("/fdinfo/") + fd)) == ptyIndex)
        isTheDevice = true;
    }
    if (!holdsPort || isTheDevice) continue;
    const QString name = ProcessName(proc, pid);
    return QStringLiteral("%1 (process %2)").arg(name.isEmpty() ? QStringLiteral("?") : name, pid);
  }
  return {};
}

QString LikelyPortHolder() {
  static const QStringList known{QStringLiteral("ModemManager"), QStringLiteral("brltty"),
                                 QStringLiteral("gpsd")};
  const QDir proc(QStringLiteral("/proc"));
  for (const QString& pid : OtherProcesses(proc)) {
    const QString name = ProcessName(proc, pid);
    if (!known.contains(name)) continue;
    // A process whose open files are visible was looked at by PortHolder.
    if (::access(proc.filePath(pid + QStringLiteral("/fd")).toLocal8Bit().constData(), R_OK) == 0)
      continue;
    return QStringLiteral("%1 (process %2)").arg(name, pid);
  }
  return {};
}

}  // namespace ovrel
