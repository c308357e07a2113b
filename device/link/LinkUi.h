#pragma once
// What the device link tells its user while an operation runs: the port
// being probed, progress and whether an operation runs. How an operation
// ended comes as its result (OperationResult), which the caller shows. The
// device service implements this and tells it on as its signals, to the
// windows and to ovrel alike.

#include <QString>
#include <QStringList>

namespace ovrel {

// One step of a device operation: the command just sent, as its letter, and
// for the D and r commands the block number (0 to 15; -1 for other commands).
// Step runs from 1 to Count; Step = Count = 0 announces that the operation ended.
// Command 0 reports time passing in a pause between two steps. Permille is
// how far the whole operation is by the expected time of its steps (a pause
// weighs its length), for a progress bar that moves with time.
struct LinkProgress {
  int Step = 0;
  int Count = 0;
  char Command = 0;
  int Block = -1;
  int Permille = 0;

  // Time passing in a pause, no step of its own.
  bool Pause() const { return Count > 0 && Command == 0; }
};

class LinkUi {
 public:
  virtual ~LinkUi() = default;

  // Autodetection refilled the port list (the drop-down list's entries).
  virtual void PortsListed(const QStringList& ports) = 0;

  // Autodetection is probing the port at this index of the list it announced.
  virtual void ProbingPort(int index) = 0;

  virtual void Progress(const LinkProgress& progress) = 0;

  // A device operation started (true) or ended (false).
  virtual void BusyChanged(bool busy) = 0;
};

}  // namespace ovrel
