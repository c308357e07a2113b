#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QFile>

#include "device/serial/SystemConsole.h"

namespace ovrel {

namespace {

// Device numbers of /dev/tty (5, 0), /dev/console (5, 1) and the virtual
// terminals, which share their major number with the first serial ports
// (4, 0 to 63; ttyS0 is 4, 64).
constexpr unsigned kTtyAuxMajor = 5;
constexpr unsigned kVirtualTerminalMajor = 4;
constexpr unsigned kVirtualTerminalCount = 64;

}  // namespace

QStringList ActiveConsoleNames() {
  QFile file(QStringLiteral("/sys/class/tty/console/active"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readAll()).simplified().split(QLatin1Char(' '),
                                                                 Qt::SkipEmptyParts);
}

bool IsSystemConsole(dev_t rdev) {
  const unsigned majorNo = major(rdev);
  const unsigned minorNo = minor(rdev);
  if (majorNo == kTtyAuxMajor && minorNo <= 1) return true;
  if (majorNo == kVirtualTerminalMajor && minorNo < kVirtualTerminalCount) return true;
  for (const QString& name : ActiveConsoleNames()) {
    struct stat console {};
    const QByteArray path = (QStringLiteral("/dev/") + name).toLocal8Bit();
    if (::stat(path.constData(), &console) == 0 && S_ISCHR(console.st_mode) &&
        console.st_rdev == rdev)
      return true;
  }
  return false;
}

}  // namespace ovrel
