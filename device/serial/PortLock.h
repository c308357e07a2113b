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
// written and only one program can make it. A lock whose process has ended
// is stale and taken over; so is a lock on a pseudo-terminal older than the
// terminal itself (one of the same number that has gone). Taking over and
// releasing happen under a file lock on the old lock file, so that two
// programs never both take over the same stale lock.
#pragma once

#include <QString>
#include <optional>
#include <sys/types.h>

#include "device/serial/SerialPort.h"

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

 private:
  QString lockFile_;
  dev_t device_ = 0;  // the lock file's identity, so that Release removes
  ino_t inode_ = 0;   // only this lock and never one that took its place
};

// "NAME (process PID)" of the process that holds the lock of the port at
// path, "process PID" when its name cannot be seen, or empty when the port
// is not locked.
QString PortLockHolder(const QString& path);

// The lock file of the port at path, or empty when it is no terminal or
// there is no lock folder.
QString PortLockFile(const QString& path);

}  // namespace ovrel
