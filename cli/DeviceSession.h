#pragma once
// The device service (port, link and jobs, as the desktop program has
// them) and the event loop that one device command of ovrel runs on, with
// the reporting the commands share.

#include <QString>
#include <functional>
#include <optional>

#include "cli/CliDeviceUi.h"
#include "cli/Context.h"
#include "device/jobs/DeviceService.h"

namespace ovrel::cli {

class DeviceSession {
 public:
  explicit DeviceSession(Context& ctx);

  // Runs one device job to its end and shows how it ended. Nothing when
  // the command was asked to stop: before the job, or while it ran and was
  // not writing into the device. A write that has begun is finished first
  // and its job ends with it (a verification after it does not start).
  // What the job left in the device's memory goes into the result event.
  std::optional<JobResult> RunToEnd(const std::function<void(DeviceService::Done)>& start);
  // The exit status of a command that a signal stopped.
  int Stopped() const;
  // The same for a command that writes into the device, stopped before its
  // job had a result: when the job never got as far as its write, the
  // result also says that the device's memory is untouched.
  int StoppedWrite();

  // Uses the given port, or finds the device first. Returns 0, or the exit
  // status when the device was not found.
  int Choose(const QString& port);

  // Ends a command whose device job failed: text and the reason on stderr
  // (the reason unless its message was shown already), both as the
  // result's message, the status of the failure. A write that had begun
  // also names what the device's memory holds now, as the job tells it.
  int Failed(const QString& text, const JobResult& result);

  // Reads the device memory, kept in the backup history. Returns 0 or the
  // exit status of the failure; read holds the result.
  int ReadMemory(JobResult& read);

  // The options of a write: the working files in the program folder, as
  // the desktop program's.
  WriteOptions Options(bool backup, bool verify);
  // Says the stages of job as they come; written is the text of a write
  // that went through (said once the write has, before a verification).
  void SayStages(DeviceJob* job, const QString& written);

  // Ends a command that wrote: the status of the job's end (nothing: a
  // signal stopped it), said as each command says it (failed is the text
  // of a write that failed).
  int Wrote(const std::optional<JobResult>& result, const QString& written, const QString& failed);

  Context& Ctx;
  CliDeviceUi Ui;
  DeviceService Service;

 private:
  // Whether a write into the device began while the command ran.
  bool writeBegan_ = false;
};

// Runs a device command's body in an application's event loop, which the
// port's notifications and the link's timers need: ovrel makes one and,
// when the process is its own, takes over the signals (so that a write into
// the device is finished before it stops); a program that runs the command
// in-process has its own. A command that a signal stopped, or that
// finished its write first, ends with the signal's status.
int RunWithEventLoop(Context& ctx, const std::function<int()>& body);

}  // namespace ovrel::cli
