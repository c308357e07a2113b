#pragma once
// What the device link shows, for ovrel: status texts and messages on
// standard error, progress as a one-line bar when standard error is a
// terminal (nothing otherwise), every event also as JSON in --json mode.
// It also tells which kind of failure ended an operation, for the exit status.

#include <QStringList>

#include "device/link/LinkUi.h"

namespace ovrel::cli {

// One line on standard error (clearing the progress bar first).
void Say(const QString& text);

class CliLinkUi : public LinkUi {
 public:
  void SetStatusText(int panel, const QString& text) override;
  void ShowMessage(const QString& text, LinkIcon icon, const QString& detail) override;
  void PortsListed(const QStringList& ports) override { Ports = ports; }
  void ProbingPort(int index) override;
  void Progress(const LinkProgress& progress) override;
  void BusyChanged(bool) override {}

  // Forgets what the previous operation showed.
  void StartOperation();
  // The exit status for the operation that just failed: the device not
  // found, the device answering wrongly, or another failure.
  int FailureStatus() const;
  // The message the last operation showed (with its detail), if any.
  QString Reason() const { return LastMessage; }
  // True when the last operation could not keep its memory image as a backup.
  bool BackupFailed() const { return BackupFailedFlag; }

 private:
  QStringList Ports;
  bool PortOpenFailed = false;
  bool BackupFailedFlag = false;
  int StepsSent = 0;
  QString LastMessage;
};

}  // namespace ovrel::cli
