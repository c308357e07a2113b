#pragma once
// What the device link shows, for ovrel: status texts and messages on
// standard error, progress as a one-line bar when standard error is a
// terminal (nothing otherwise), every event also as JSON in --json mode.
// It also turns the kind of failure that ended an operation into an exit status.

#include <QStringList>

#include "device/link/LinkUi.h"
#include "device/link/OperationResult.h"

namespace ovrel::cli {

// One line on standard error (clearing the progress bar first).
void Say(const QString& text);

class CliLinkUi : public LinkUi {
 public:
  void PortsListed(const QStringList& ports) override { ports_ = ports; }
  void ProbingPort(int index) override;
  void Progress(const LinkProgress& progress) override;
  void BusyChanged(bool) override {}

  // Shows how an operation ended: its notes and its message, on standard
  // error and as JSON.
  void ShowResult(const OperationResult& result);
  // The exit status for an operation that failed: the device not found,
  // the device answering wrongly, or another failure.
  static int FailureStatus(const OperationResult& result);

 private:
  void ShowMessage(const LinkMessage& message);

  QStringList ports_;
};

}  // namespace ovrel::cli
