#pragma once
// What the device link shows, for ovrel: status texts and messages on
// standard error, progress as a one-line bar when standard error is a
// terminal (nothing otherwise), every event also as JSON in --json mode.
// It also follows whether a write into the device has begun, and turns the
// kind of failure that ended an operation into an exit status.

#include <QStringList>

#include "cli/Context.h"
#include "device/link/LinkUi.h"
#include "device/link/OperationResult.h"

namespace ovrel::cli {

class CliLinkUi : public LinkUi {
 public:
  explicit CliLinkUi(Context& ctx) : ctx_(ctx) {}

  void PortsListed(const QStringList& ports) override { ports_ = ports; }
  void ProbingPort(int index) override;
  void Progress(const LinkProgress& progress) override;
  void BusyChanged(bool) override {}

  // True from the C of a write into the device until its operation ends:
  // the device's memory is being replaced.
  bool Writing() const { return writing_; }
  // True when the last operation got as far as its C: a failure then
  // leaves the device's memory changed.
  bool WriteBegan() const { return writeBegan_; }
  // Forgets the last operation's write, before the next one starts.
  void NewOperation() { writeBegan_ = writing_ = false; }

  // Shows how an operation ended: its notes and its message, on standard
  // error and as JSON.
  void ShowResult(const OperationResult& result);
  // The exit status for an operation that failed: the device not found,
  // the device answering wrongly, or another failure.
  static int FailureStatus(const OperationResult& result);
  // True when the operation could not keep its memory image as a backup.
  static bool BackupFailed(const OperationResult& result);

 private:
  void ShowMessage(const LinkMessage& message);

  Context& ctx_;
  QStringList ports_;
  bool writing_ = false;
  bool writeBegan_ = false;
};

}  // namespace ovrel::cli
