#pragma once
// The signals that stop ovrel's device commands (SIGINT, SIGTERM, SIGHUP).
// The handler only notes the signal and wakes the event loop through a pipe;
// the loop then decides. A write into the device that has begun (from its C
// on) is finished first, since stopping in the middle of the blocks would
// leave the device's memory torn; at any other time the running command
// stops at once, and its link closes the port as it goes.

#include <QString>
#include <functional>

namespace ovrel::cli {

namespace interruption {

// Installs the handlers; a QCoreApplication must exist.
void Install();
// The first signal that arrived, 0 when none did.
int Signal();
// While a write into the device runs, a signal waits for its end.
void SetWriting(bool writing);
// What the event loop runs to stop the running command at once.
void SetStopHandler(std::function<void()> stop);
// Says that the command was stopped by the signal and returns its exit
// status: 128 and the signal's number (130 for SIGINT, 143 for SIGTERM).
int Stopped();

}  // namespace interruption

}  // namespace ovrel::cli
