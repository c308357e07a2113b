// The list of serial ports on Linux: the hardware-backed terminals under
// /sys/class/tty, without the kernel's console ports, plus the ports named in
// OVREL_EXTRA_PORTS; or exactly the ports named in OVREL_PORTS.
#include <dirent.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <memory>

#include "device/serial/SerialPort.h"
#include "device/serial/SystemConsole.h"

namespace ovrel {

namespace {

const QString TtyClassDir = QStringLiteral("/sys/class/tty");

QStringList SplitPortVariable(const char* name) {
  return QString::fromLocal8Bit(qgetenv(name)).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString ReadSysText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readAll()).trimmed();
}

// The 8250 driver registers a fixed number of ttyS ports whether or not a
// UART sits behind them; a UART type of 0 means none was found.
bool IsPresent(const QString& name) {
  const QString dir = TtyClassDir + QLatin1Char('/') + name;
  if (!QFileInfo(dir + QStringLiteral("/device")).exists()) return false;
  if (name.startsWith(QLatin1String("ttyS"))) {
    bool ok = false;
    const int type = ReadSysText(dir + QStringLiteral("/type")).toInt(&ok);
    return ok && type != 0;
  }
  return true;
}

SerialPortList SystemPorts() {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(TtyClassDir.toLocal8Bit().constData()),
                                          ::closedir);
  if (!dir) return {{}, SerialError{SerialErrorKind::PortListFailed, errno, {}}};
  const QStringList consoles = ActiveConsoleNames();
  QStringList ports;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) {
      if (errno != 0) return {{}, SerialError{SerialErrorKind::PortListFailed, errno, {}}};
      break;
    }
    const QString name = QString::fromLocal8Bit(entry->d_name);
    if (name.startsWith(QLatin1Char('.')) || consoles.contains(name)) continue;
    if (IsPresent(name)) ports << QStringLiteral("/dev/") + name;
  }
  return {ports, std::nullopt};
}

}  // namespace

SerialPortList ListSerialPorts() {
  QStringList candidates;
  if (qEnvironmentVariableIsSet("OVREL_PORTS")) {
    candidates = SplitPortVariable("OVREL_PORTS");
  } else {
    SerialPortList system = SystemPorts();
    if (system.Error) return system;
    candidates = system.Ports;
    candidates << SplitPortVariable("OVREL_EXTRA_PORTS");
  }
  QStringList ports;
  for (const QString& port : candidates) {
    if (!ports.contains(port) && QFileInfo::exists(port)) ports << port;
  }
  std::stable_sort(ports.begin(), ports.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  return {ports, std::nullopt};
}

}  // namespace ovrel
