#pragma once
// What the device service tells, for ovrel: messages on standard error,
// progress as a one-line bar when standard error is a terminal (nothing
// otherwise), every event also as JSON in --json mode. It also turns the
// kind of failure that ended a job into an exit status.

#include <QStringList>

#include "cli/Context.h"
#include "device/jobs/JobResult.h"
#include "device/link/LinkUi.h"

namespace ovrel::cli {

class CliDeviceUi {
 public:
  explicit CliDeviceUi(Context& ctx) : ctx_(ctx) {}

  void PortsListed(const QStringList& ports) { ports_ = ports; }
  void ProbingPort(int index);
  void Progress(const LinkProgress& progress);

  // Shows how an operation ended: its notes and its message, on standard
  // error and as JSON.
  void ShowResult(const JobResult& result);
  // The exit status for an operation that failed: the device not found,
  // the device answering wrongly, or another failure.
  static int FailureStatus(const JobResult& result);

 private:
  void ShowMessage(const JobMessage& message);

  Context& ctx_;
  QStringList ports_;
};

}  // namespace ovrel::cli
