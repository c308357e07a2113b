// What the system knows of a serial port, shown beside its path.
#pragma once

#include <QString>

namespace ovrel {

// The USB manufacturer, product and serial number of the adapter behind the
// port at path, and its names under /dev/serial/by-id, as one line; empty
// when the system knows nothing more (built-in ports, pseudo-terminals).
QString PortDescription(const QString& path);

// The same, read from the given terminal class folder (/sys/class/tty) and
// by-id folder.
QString PortDescription(const QString& path, const QString& ttyClassDir, const QString& byIdDir);

}  // namespace ovrel
