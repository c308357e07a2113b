#pragma once
// What the device link tells its user while it works: status bar texts,
// message boxes, the port being probed, progress and whether an operation
// runs. The main window and the command-line tool each implement it.

#include <QString>
#include <QStringList>

namespace ovrel {

enum class LinkIcon { None, Error };

// One step of a device operation: the command just sent, as its letter, and
// for the D and r commands the block number (0 to 15; -1 for other commands).
// Step runs from 1 to Count; Step = Count = 0 announces that the operation ended.
struct LinkProgress {
  int Step = 0;
  int Count = 0;
  char Command = 0;
  int Block = -1;
};

class LinkUi {
 public:
  virtual ~LinkUi() = default;

  // Status bar panel 0 (what is happening) or 1 ("Connected"/"Not connected").
  virtual void SetStatusText(int panel, const QString& text) = 0;

  // A message box with an OK button. detail, when not empty, is extra text
  // shown below the message (for instance why the port could not be opened).
  virtual void ShowMessage(const QString& text, LinkIcon icon, const QString& detail) = 0;

  // Autodetection refilled the port list (the drop-down list's entries).
  virtual void PortsListed(const QStringList& ports) = 0;

  // Autodetection is probing the port at this index of the list it announced.
  virtual void ProbingPort(int index) = 0;

  virtual void Progress(const LinkProgress& progress) = 0;

  // A device operation started (true) or ended (false).
  virtual void BusyChanged(bool busy) = 0;
};

}  // namespace ovrel
