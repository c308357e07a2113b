#pragma once
// The port, the link and the event loop that one device command of ovrel
// runs on, with the reading, verifying and reporting the commands share.

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <algorithm>
#include <functional>
#include <optional>
#include <span>
#include <utility>

#include "cli/CliLinkUi.h"
#include "cli/Interruption.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "device/link/DeviceLink.h"
#include "device/serial/SerialPort.h"
#include "storage/BackupHistory.h"
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

// The port, the link and the event loop that one device command runs on.
class DeviceSession {
 public:
  // The working files go to the program folder, as the desktop program's do.
  // A read that cannot be kept stops the write that follows it.
  DeviceSession() : Link(Port, Ui) {
    Link.SetWorkingFolder(LocateProgramFolders().Program);
    Link.KeepMemoryImage = [this](std::span<const std::uint8_t, SesMemSize> image) {
      const BackupHistory::Kept kept = BackupHistory().Keep(image, Reason);
      KeptPath = kept.Path;
      return kept.Error;
    };
    Link.StopWhenNotKept = true;
  }

  // Why the memory this session reads is kept: a plain read unless the
  // command writes after it.
  BackupReason Reason = BackupReason::Read;

  // Runs one operation of the link to its end and shows how it ended.
  // After a signal no operation starts, and one that runs stops at once
  // unless it is writing into the device (throws Interrupted).
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
    const OperationResult found = RunToEnd([&](DeviceLink::Done done) { Link.Connect(done); });
    if (found.Ok()) {
      Say(QStringLiteral("Sorvani successfully detected on %1").arg(found.Port));
      EmitJson(QStringLiteral("device"), {{QStringLiteral("port"), found.Port}});
      return ExitOk;
    }
    return ExitNotFound;
  }

  // Ends a command whose device operation failed: text and the reason on
  // stderr (the reason unless its message was shown already), both as the
  // result's message, the status of the failure.
  static int Failed(const QString& text, const OperationResult& result) {
    const int status = Finish(CliLinkUi::FailureStatus(result), text);
    if (result.Message.Text.isEmpty()) Say(result.Reason());
    NoteOutcome(text + QStringLiteral(": ") + result.Reason());
    return status;
  }

  // Reads the device memory; the link keeps it in the backup history.
  // Returns 0 or the exit status of the failure; read holds the result.
  int ReadMemory(OperationResult& read) {
    Say(QStringLiteral("Reading the Sorvani session memory"));
    read = RunToEnd([&](DeviceLink::Done done) { Link.ReadMemory(done); });
    if (!read.Ok())
      return Failed(QStringLiteral("Reading the Sorvani session memory failed"), read);
    if (CliLinkUi::BackupFailed(read)) {
      return Finish(ExitFailed,
                    QStringLiteral("The session memory was read but could not be kept."));
    }
    Say(QStringLiteral("Session memory kept as %1").arg(KeptPath));
    return ExitOk;
  }

  // Reads the memory back and compares it with the image the upload wrote,
  // without keeping it in the backup history (it is no backup).
  int Verify(const OperationResult& uploaded) {
    const OperationResult::Image meant = uploaded.MemImg.value_or(OperationResult::Image{});
    Say(QStringLiteral("Reading the Sorvani session memory back"));
    auto keep = std::exchange(Link.KeepMemoryImage, nullptr);
    const OperationResult read = RunToEnd([&](DeviceLink::Done done) { Link.ReadMemory(done); });
    Link.KeepMemoryImage = std::move(keep);
    if (!read.Ok()) {
      return Failed(QStringLiteral("Reading the Sorvani session memory back failed"), read);
    }
    const OperationResult::Image& got = *read.MemImg;
    const auto [wrote, held] = std::mismatch(meant.begin(), meant.end(), got.begin());
    if (wrote != meant.end()) {
      return Finish(ExitWrongAnswer,
                    QStringLiteral("Verification failed: address %1 holds 0x%2, 0x%3 was written")
                        .arg(wrote - meant.begin())
                        .arg(int{*held}, 2, 16, QChar('0'))
                        .arg(int{*wrote}, 2, 16, QChar('0')));
    }
    return Finish(ExitOk, QStringLiteral("Verified: the session memory holds what was written"));
  }

  SerialPort Port;
  CliLinkUi Ui;
  DeviceLink Link;
  // The backup the last read was kept in.
  QString KeptPath;
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
