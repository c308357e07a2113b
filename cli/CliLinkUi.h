#pragma once
// What the device link shows, for ovrel: status texts and messages on
// standard error, progress as a one-line bar when standard error is a
// terminal (nothing otherwise), every event also as JSON in --json mode.
// It also follows whether a write into the device has begun, and turns the
// kind of failure that ended an operation into an exit status.

#include <QStringList>
#include <functional>

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
  // True when the running (or last) job got as far as the C of a write: a
  // failure then leaves the device's memory changed.
  bool WriteBegan() const { return writeBegan_; }
  // Forgets the last write, before the next job starts.
  void NewJob() { writeBegan_ = writing_ = false; }
  // Told when a write into the device has ended, well or not (before its
  // job hears of it).
  std::function<void()> WriteEnded;

  // Shows how an operation ended: its notes and its message, on standard
  // error and as JSON.
  void ShowResult(const OperationResult& result);
  // The exit status for an operation that failed: the device not found,
  // the device answering wrongly, or another failure.
  static int FailureStatus(const OperationResult& result);

 private:
  void ShowMessage(const LinkMessage& message);

  Context& ctx_;
  QStringList ports_;
  bool writing_ = false;
  bool writeBegan_ = false;
};

}  // namespace ovrel::cli
