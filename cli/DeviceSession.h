#pragma once
// The port, the link, the jobs and the event loop that one device command
// of ovrel runs on, with the reporting the commands share.

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <algorithm>
#include <functional>
#include <optional>

#include "cli/CliLinkUi.h"
#include "cli/Interruption.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "device/jobs/DeviceJobs.h"
#include "device/link/DeviceLink.h"
#include "device/serial/SerialPort.h"
#include "storage/ProgramFolder.h"

namespace ovrel::cli {

// Ends a command: the text on stderr and as the result's message.
inline int Finish(int status, const QString& text) {
  Say(text);
  NoteOutcome(text);
  return status;
}

// Thrown when a signal stops a device command; the command's objects go as
// it unwinds (the link closes its port), and RunDeviceCommand reports it.
struct Interrupted {};

// The port, the link and the jobs that one device command runs on.
class DeviceSession {
 public:
  DeviceSession() : Link(Port, Ui), Jobs(Link) {}

  // Runs one device job to its end and shows how it ended. After a signal
  // no job starts, and one that runs stops at once unless it is writing
  // into the device (throws Interrupted).
  OperationResult RunToEnd(const std::function<void(DeviceLink::Done)>& start) {
    if (interruption::Signal()) throw Interrupted{};
    std::optional<OperationResult> result;
    QEventLoop loop;
    interruption::SetStopHandler([&loop] { loop.quit(); });
    start([&](const OperationResult& r) {
      result = r;
      loop.quit();
    });
    if (!result) loop.exec();
    interruption::SetStopHandler(nullptr);
    if (!result) throw Interrupted{};
    Ui.ShowResult(*result);
    return *result;
  }

  // Uses the given port, or finds the device first. Returns 0, or the exit
  // status when the device was not found.
  int Choose(const QString& port) {
    if (!port.isEmpty()) {
      Link.SetPort(port);
      return ExitOk;
    }
    Say(QStringLiteral("Autodetecting Sorvani..."));
    const OperationResult found = RunToEnd([&](DeviceLink::Done done) { Jobs.Connect(done); });
    if (found.Ok()) {
      Say(QStringLiteral("Sorvani successfully detected on %1").arg(found.Port));
      EmitJson(QStringLiteral("device"), {{QStringLiteral("port"), found.Port}});
      return ExitOk;
    }
    return ExitNotFound;
  }

  // Ends a command whose device job failed: text and the reason on
  // stderr (the reason unless its message was shown already), both as the
  // result's message, the status of the failure.
  static int Failed(const QString& text, const OperationResult& result) {
    const int status = Finish(CliLinkUi::FailureStatus(result), text);
    if (result.Message.Empty()) Say(result.Reason());
    NoteOutcome(text + QStringLiteral(": ") + result.Reason());
    return status;
  }

  // Reads the device memory, kept in the backup history. Returns 0 or the
  // exit status of the failure; read holds the result.
  int ReadMemory(OperationResult& read) {
    Say(QStringLiteral("Reading the Sorvani session memory"));
    read = RunToEnd([&](DeviceLink::Done done) { Jobs.Read(done); });
    if (!read.Ok())
      return Failed(QStringLiteral("Reading the Sorvani session memory failed"), read);
    if (read.HasNote(LinkText::BackupFailed)) {
      return Finish(ExitFailed,
                    QStringLiteral("The session memory was read but could not be kept."));
    }
    Say(QStringLiteral("Session memory kept as %1").arg(read.BackupPath));
    return ExitOk;
  }

  // The options of a write: the working files in the program folder, as
  // the desktop program's; what happened said in the order it happened.
  // written is the text of a write that went through.
  WriteOptions Options(bool backup, bool verify, const QString& written) {
    WriteOptions options;
    options.Backup = backup;
    options.Verify = verify;
    options.WorkingFolder = LocateProgramFolders().Program;
    options.ReadPortFailure = LinkText::ReadPortOpenFailed;
    options.StageStarts = [](JobStage stage) {
      if (stage == JobStage::Read) Say(QStringLiteral("Reading the Sorvani session memory"));
      if (stage == JobStage::Write) Say(QStringLiteral("Uploading Sorvani session library"));
      if (stage == JobStage::Verify) Say(QStringLiteral("Reading the Sorvani session memory back"));
    };
    options.StageDone = [written](JobStage stage, const OperationResult& result) {
      if (stage == JobStage::Read && !result.BackupPath.isEmpty())
        Say(QStringLiteral("Session memory kept as %1").arg(result.BackupPath));
      if (stage == JobStage::Write) Finish(ExitOk, written);
    };
    return options;
  }

  // Ends a command that wrote: the status of the job's end, said as each
  // command says it (failed is the text of a write that failed).
  static int Wrote(const OperationResult& result, const QString& written, const QString& failed) {
    if (result.Ok()) {
      if (result.Stage == JobStage::Verify) {
        return Finish(ExitOk,
                      QStringLiteral("Verified: the session memory holds what was written"));
      }
      return Finish(ExitOk, written);
    }
    switch (result.Stage) {
      case JobStage::None:
        return Failed(failed, result);
      case JobStage::Read:
        if (result.Kind == FailureKind::NotKept) {
          return Finish(ExitFailed,
                        QStringLiteral("The session memory was read but could not be kept."));
        }
        if (result.Kind == FailureKind::Changed) return Failed(failed, result);
        return Failed(QStringLiteral("Reading the Sorvani session memory failed"), result);
      case JobStage::Write:
        return Failed(failed, result);
      case JobStage::Verify:
        break;
    }
    if (result.Kind != FailureKind::Verify || !result.Written || !result.MemImg)
      return Failed(QStringLiteral("Reading the Sorvani session memory back failed"), result);
    const MemoryImage& meant = *result.Written;
    const MemoryImage& got = *result.MemImg;
    const auto [wrote, held] = std::mismatch(meant.begin(), meant.end(), got.begin());
    return Finish(ExitWrongAnswer,
                  QStringLiteral("Verification failed: address %1 holds 0x%2, 0x%3 was written")
                      .arg(wrote - meant.begin())
                      .arg(int{*held}, 2, 16, QChar('0'))
                      .arg(int{*wrote}, 2, 16, QChar('0')));
  }

  SerialPort Port;
  CliLinkUi Ui;
  DeviceLink Link;
  DeviceJobs Jobs;
};

// Runs a device command's body in an application's event loop, which the
// port's notifications and the link's timers need: ovrel makes one and takes
// over the signals (so that a write into the device is finished before it
// stops); a program that runs the command in-process has its own. A command
// that a signal stopped, or that finished its write first, ends with the
// signal's status.
inline int RunWithEventLoop(const std::function<int()>& body) {
  static int argc = 1;
  static char programName[] = "ovrel";
  static char* argv[] = {programName, nullptr};
  std::optional<QCoreApplication> app;
  if (!QCoreApplication::instance()) {
    app.emplace(argc, argv);
    interruption::Install();
  }
  int status = ExitFailed;
  try {
    status = body();
  } catch (const Interrupted&) {
  }
  return interruption::Signal() ? interruption::Stopped() : status;
}

}  // namespace ovrel::cli
