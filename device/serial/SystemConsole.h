// The terminals the kernel uses as its console. Such a terminal is never
// opened as the device's port: opening it would set the console line to
// raw 38400 bit/s and write device frames into it.
#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>

namespace ovrel {

// Names under /dev of the terminals the kernel writes its console to
// (/sys/class/tty/console/active).
QStringList ActiveConsoleNames();

// True when the character device number rdev is one of the active console
// terminals, /dev/console, /dev/tty or a virtual terminal (/dev/tty0 and up).
bool IsSystemConsole(dev_t rdev);

}  // namespace ovrel
