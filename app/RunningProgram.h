#pragma once
// One program at a time: a start while another copy of the program serves
// its remote control hands its files to that copy, which shows its main
// window, and ends.

#include <QStringList>

namespace ovrel {

// Asks the copy of the program that owns the remote-control name on the
// session bus to open files (absolute paths; may be empty) and show its main
// window. True when it accepted; false when no copy runs or it did not
// answer, and this start goes on as the only one.
bool HandOverToRunningProgram(const QStringList& files);

}  // namespace ovrel
