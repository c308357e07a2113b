#pragma once
// The port, the link and the event loop that one device command of ovrel
// runs on, with the reading, verifying and reporting the commands share.

#include <QString>
#include <functional>
#include <optional>

#include "cli/CliLinkUi.h"
#include "cli/Context.h"
#include "device/link/DeviceLink.h"
#include "device/serial/SerialPort.h"
#include "storage/BackupHistory.h"

namespace ovrel::cli {

class DeviceSession {
 public:
  // The working files go to the program folder, as the desktop program's do.
  // A read that cannot be kept stops the write that follows it.
  explicit DeviceSession(Context& ctx);

  // Runs one operation of the link to its end and shows how it ended.
  // Nothing when the command was asked to stop: before the operation, or
  // while it ran and was not writing into the device (a write that has
  // begun is finished first, and its result returned).
  std::optional<OperationResult> RunToEnd(const std::function<void(DeviceLink::Done)>& start);
  // The exit status of a command that a signal stopped.
  int Stopped() const;

  // Uses the given port, or finds the device first. Returns 0, or the exit
  // status when the device was not found.
  int Choose(const QString& port);

  // Ends a command whose device operation failed: text and the reason on
  // stderr (the reason unless its message was shown already), both as the
  // result's message, the status of the failure. A write that had begun
  // also names what the device's memory holds now.
  int Failed(const QString& text, const OperationResult& result);

  // Reads the device memory; the link keeps it in the backup history.
  // Returns 0 or the exit status of the failure; read holds the result.
  int ReadMemory(OperationResult& read);

  // Reads the memory back and compares it with the image the upload wrote,
  // without keeping it in the backup history (it is no backup).
  int Verify(const OperationResult& uploaded);

  // Why the memory this session reads is kept: a plain read unless the
  // command writes after it.
  BackupReason Reason = BackupReason::Read;

  Context& Ctx;
  SerialPort Port;
  CliLinkUi Ui;
  DeviceLink Link;
  // The backup the last read was kept in.
  QString KeptPath;
};

// Runs a device command's body in an application's event loop, which the
// port's notifications and the link's timers need: ovrel makes one and,
// when the process is its own, takes over the signals (so that a write into
// the device is finished before it stops); a program that runs the command
// in-process has its own. A command that a signal stopped, or that
// finished its write first, ends with the signal's status.
int RunWithEventLoop(Context& ctx, const std::function<int()>& body);

}  // namespace ovrel::cli
