// The lock on a port that lasts for a whole device operation. An operation
// may close and reopen its port (an add closes it for its pause before the
// upload); the lock stays with it all the while, so that no other program
// writes in between.
//
// It is the lock file that serial programs on Linux agree on, whoever runs
// them and whatever their environment: "LCK..NAME" in the system's lock
// folder (/run/lock, else /var/lock), NAME being the port's device name
// under /dev with every further slash made an underscore ("LCK..ttyUSB0",
// "LCK..pts_3" for /dev/pts/3), holding the holder's process id as ten
// characters, right-aligned, and a newline. The lock is made complete under
// a temporary name and linked into place, so that it never appears half
// written and only one program can make it. A lock whose process is known to
// have ended is stale and taken over; a lock whose process runs, or may run
// (another user's, which cannot be signalled), is never taken over, however
// old it is. Taking over and releasing happen under a file lock on the old
// lock file, so that two programs never both take over the same stale lock.
//
// Where this user may not write the system's lock folder (a root-owned
// /run/lock of mode 0755), the lock is made in the user's runtime folder
// ($XDG_RUNTIME_DIR) instead, and a lock that another program holds in the
// system's folder still keeps the port.
#pragma once

#include <sys/types.h>

#include <QString>
#include <optional>

#include "device/serial/SerialPort.h"
#include "device/serial/UniqueFd.h"

namespace ovrel {

class PortLock {
 public:
  PortLock() = default;
  ~PortLock() { Release(); }
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Takes the lock of the port at path, giving up one held on another
  // port first; nothing when it is held for that port already. Fails
  // (OpenFailed, EWOULDBLOCK) while another program (or another lock of
  // this one) holds it, and (OpenFailed, with the reason) when the lock
  // cannot be taken at all: no lock folder, a folder that may not be
  // written, something that is not a lock file at its name. A path that is
  // no terminal needs no lock: opening it says what is wrong.
  std::optional<SerialError> Acquire(const QString& path);
  // Removes the lock file, if it is still this lock's.
  void Release();
  bool Held() const { return !lockFile_.isEmpty(); }
  // The lock file held; empty when none is.
  const QString& File() const { return lockFile_; }

 private:
  std::optional<SerialError> KeepHeld();
  std::optional<SerialError> Take(const QString& folder, const QString& file);

  QString lockFile_;
  UniqueFd file_;
  dev_t device_ = 0;  // the lock file's identity, so that Release removes
  ino_t inode_ = 0;   // only this lock and never one that took its place
};

// "NAME (process PID)" of the process that holds the lock of the port at
// path, "process PID" when its name cannot be seen, or empty when the port
// is not locked. When the process can be seen not to have the port open,
// the text goes on to name the lock file, which the user may remove when
// that process is no serial program.
QString PortLockHolder(const QString& path);

// The lock file this program takes for the port at path (in the system's
// folder, or in the user's runtime folder where that may not be written),
// or empty when it is no terminal or there is no folder to lock it in.
QString PortLockFile(const QString& path);

// How a lock's process is looked for (kill with signal 0); tests put in one
// that answers as for another user's process. Null restores kill.
using ProcessSignal = int (*)(pid_t pid, int signal);
void SetProcessSignalForTests(ProcessSignal signal);

}  // namespace ovrel
