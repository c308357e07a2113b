#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "device/serial/PortDescription.h"

namespace ovrel {

namespace {

// The USB device folder sits a few levels above the terminal's device
// folder (interface, then device).
constexpr int kMaxLevelsUp = 6;

QString ReadLine(const QDir& dir, const QString& name) {
  QFile file(dir.filePath(name));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readLine()).trimmed();
}

}  // namespace

QString PortDescription(const QString& path) {
  return PortDescription(path, QStringLiteral("/sys/class/tty"),
                         QStringLiteral("/dev/serial/by-id"));
}

QString PortDescription(const QString& path, const QString& ttyClassDir, const QString& byIdDir) {
  const QString port = QFileInfo(path).canonicalFilePath();
  if (port.isEmpty()) return {};
  QStringList parts;

  QDir device(QFileInfo(ttyClassDir + QLatin1Char('/') + QFileInfo(port).fileName() +
                        QStringLiteral("/device"))
                  .canonicalFilePath());
  for (int level = 0; level < kMaxLevelsUp && !device.path().isEmpty(); ++level) {
    if (QFileInfo::exists(device.filePath(QStringLiteral("idVendor")))) {
      const QString name = (ReadLine(device, QStringLiteral("manufacturer")) + QLatin1Char(' ') +
                            ReadLine(device, QStringLiteral("product")))
                               .trimmed();
      if (!name.isEmpty()) parts << name;
      const QString serial = ReadLine(device, QStringLiteral("serial"));
      if (!serial.isEmpty()) parts << QStringLiteral("serial number ") + serial;
      break;
    }
    if (!device.cdUp()) break;
  }

  const QDir byId(byIdDir);
  for (const QString& name : byId.entryList(QDir::System | QDir::Files)) {
    if (QFileInfo(byId.filePath(name)).canonicalFilePath() == port) parts << name;
  }
  return parts.join(QStringLiteral(", "));
}

}  // namespace ovrel
