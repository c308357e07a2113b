#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "device/serial/PortHolder.h"

namespace ovrel {

QString PortHolder(const QString& path) {
  struct stat port {};
  if (::stat(path.toLocal8Bit().constData(), &port) < 0 || !S_ISCHR(port.st_mode)) return {};
  const QString self = QString::number(::getpid());
  const QDir proc(QStringLiteral("/proc"));
  for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool numeric = false;
    pid.toInt(&numeric);
    if (!numeric || pid == self) continue;
    // Compared by device number, so that links to the port count too.
    const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
      struct stat held {};
      if (::stat(fds.filePath(fd).toLocal8Bit().constData(), &held) < 0) continue;
      if (!S_ISCHR(held.st_mode) || held.st_rdev != port.st_rdev) continue;
      QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
      const QString name =
          comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
      return QStringLiteral("%1 (process %2)").arg(name.isEmpty() ? QStringLiteral("?") : name, pid);
    }
  }
  return {};
}

}  // namespace ovrel
