// Which other program has a port open, for the message that says the port
// is busy.
#pragma once

#include <QString>

namespace ovrel {

// "NAME (process PID)" of the first other process found in /proc that holds
// the terminal at path open, or empty when none can be seen (the process
// belongs to another user, or the port is not held).
QString PortHolder(const QString& path);

// "NAME (process PID)" of a running program known to open serial ports by
// itself (ModemManager, brltty, gpsd) whose open files this user cannot
// see: when PortHolder finds no one, the likeliest holder of a busy port.
// Empty when there is none.
QString LikelyPortHolder();

}  // namespace ovrel
