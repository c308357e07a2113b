// The lock on a port that lasts for a whole device operation. An operation
// may close and reopen its port (an add closes it for its pause before the
// upload); the lock stays with it all the while, so that no other program
// of this user (ovrel, the desktop program) writes in between. It is a lock
// on a file of its own, named after the port's device number, in the
// user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder), and
// it ends with the process that holds it.
#pragma once

#include <QString>
#include <optional>

#include "device/serial/SerialPort.h"
#include "device/serial/UniqueFd.h"

namespace ovrel {

class PortLock {
 public:
  PortLock() = default;
  ~PortLock() = default;
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Takes the lock of the port at path, giving up one held on another
  // port first; nothing when it is held for that port already. Fails
  // (OpenFailed, EWOULDBLOCK) while another holds it. A lock that cannot be
  // made at all (no such port, no writable runtime folder) is no failure:
  // the port's own exclusive opening still keeps others out while it is open.
  std::optional<SerialError> Acquire(const QString& path);
  void Release();
  bool Held() const { return fd_.Valid(); }

 private:
  UniqueFd fd_;
  QString lockFile_;
};

// "NAME (process PID)" of the process that holds the lock of the port at
// path, or empty when it is not held (or its holder cannot be seen).
QString PortLockHolder(const QString& path);

}  // namespace ovrel
