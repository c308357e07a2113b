#include "cli/DeviceSession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <span>
#include <utility>

#include "cli/Command.h"
#include "storage/BackupHistory.h"
#include "storage/ProgramFolder.h"

namespace ovrel::cli {

namespace {

// What the device's memory holds after a write into it failed, judged by
// the step where it failed.
QString MemoryAfterFailedWrite(const OperationResult& failed) {
  if (failed.Kind == FailureKind::Checksum)
    return QStringLiteral("The session memory of Sorvani holds other bytes than were written.");
  switch (failed.At.Command) {
    case 'C':
    case 'W':
      return QStringLiteral(
          "The write stopped before its first block: the session memory of Sorvani may no "
          "longer hold its old library.");
    case 'D':
      return QStringLiteral(
                 "The session memory of Sorvani holds a mixed image: the write stopped at block "
                 "%1 of 16, part of the way through replacing the old library.")
          .arg(failed.At.Block + 1);
    default:
      return QStringLiteral(
          "Every block was sent, but Sorvani did not confirm the write: its session memory may "
          "not hold the new library.");
  }
}

}  // namespace

DeviceSession::DeviceSession(Context& ctx) : Ctx(ctx), Ui(ctx), Link(Port, Ui) {
  Link.SetWorkingFolder(LocateProgramFolders().Program);
  Link.KeepMemoryImage = [this](std::span<const std::uint8_t, SesMemSize> image) {
    const BackupHistory::Kept kept = BackupHistory().Keep(image, Reason);
    KeptPath = kept.Path;
    return kept.Error;
  };
  Link.StopWhenNotKept = true;
}

std::optional<OperationResult> DeviceSession::RunToEnd(
    const std::function<void(DeviceLink::Done)>& start) {
  Interruption& interruption = Ctx.Interrupt();
  if (interruption.Requested()) return std::nullopt;
  Ui.NewOperation();
  std::optional<OperationResult> result;
  QEventLoop loop;
  interruption.Listen([&] {
    if (!Ui.Writing()) {
      loop.quit();
      return;
    }
    Ctx.Say(QStringLiteral("Finishing the write to Sorvani before stopping..."));
  });
  start([&](const OperationResult& r) {
    result = r;
    loop.quit();
  });
  if (!result) loop.exec();
  interruption.Listen(nullptr);
  if (!result) return std::nullopt;
  Ui.ShowResult(*result);
  return result;
}

int DeviceSession::Stopped() const {
  return ExitSignal + Ctx.Interrupt().Signal();
}

int DeviceSession::Choose(const QString& port) {
  if (!port.isEmpty()) {
    Link.SetPort(port);
    return ExitOk;
  }
  Ctx.Say(QStringLiteral("Autodetecting Sorvani..."));
  const auto found = RunToEnd([&](DeviceLink::Done done) { Link.Connect(done); });
  if (!found) return Stopped();
  if (!found->Ok()) return ExitNotFound;
  Ctx.Say(QStringLiteral("Sorvani successfully detected on %1").arg(found->Port));
  Ctx.Emit(QStringLiteral("device"), {{QStringLiteral("port"), found->Port}});
  return ExitOk;
}

int DeviceSession::Failed(const QString& text, const OperationResult& result) {
  const int status = Ctx.Finish(CliLinkUi::FailureStatus(result), text);
  if (result.Message.Text.isEmpty()) Ctx.Say(result.Reason());
  QString outcome = text + QStringLiteral(": ") + result.Reason();
  if (Ui.WriteBegan()) {
    QString state = MemoryAfterFailedWrite(result);
    if (!KeptPath.isEmpty())
      state += QStringLiteral(" \"ovrel restore\" uploads the memory kept before the write.");
    Ctx.Say(state);
    outcome += QLatin1Char(' ') + state;
  }
  Ctx.NoteOutcome(outcome);
  return status;
}

int DeviceSession::ReadMemory(OperationResult& read) {
  Ctx.Say(QStringLiteral("Reading the Sorvani session memory"));
  const auto result = RunToEnd([&](DeviceLink::Done done) { Link.ReadMemory(done); });
  if (!result) return Stopped();
  read = *result;
  if (!read.Ok())
    return Failed(QStringLiteral("Reading the Sorvani session memory failed"), read);
  if (CliLinkUi::BackupFailed(read)) {
    return Ctx.Finish(ExitFailed,
                      QStringLiteral("The session memory was read but could not be kept."));
  }
  Ctx.Say(QStringLiteral("Session memory kept as %1").arg(KeptPath));
  return ExitOk;
}

int DeviceSession::Verify(const OperationResult& uploaded) {
  const OperationResult::Image meant = uploaded.MemImg.value_or(OperationResult::Image{});
  Ctx.Say(QStringLiteral("Reading the Sorvani session memory back"));
  auto keep = std::exchange(Link.KeepMemoryImage, nullptr);
  const auto read = RunToEnd([&](DeviceLink::Done done) { Link.ReadMemory(done); });
  Link.KeepMemoryImage = std::move(keep);
  if (!read) return Stopped();
  if (!read->Ok()) {
    return Failed(QStringLiteral("Reading the Sorvani session memory back failed"), *read);
  }
  const OperationResult::Image& got = *read->MemImg;
  const auto [wrote, held] = std::mismatch(meant.begin(), meant.end(), got.begin());
  if (wrote != meant.end()) {
    return Ctx.Finish(ExitWrongAnswer,
                      QStringLiteral("Verification failed: address %1 holds 0x%2, 0x%3 was written")
                          .arg(wrote - meant.begin())
                          .arg(int{*held}, 2, 16, QChar('0'))
                          .arg(int{*wrote}, 2, 16, QChar('0')));
  }
  return Ctx.Finish(ExitOk,
                    QStringLiteral("Verified: the session memory holds what was written"));
}

int RunWithEventLoop(Context& ctx, const std::function<int()>& body) {
  int argc = 1;
  char programName[] = "ovrel";
  char* argv[] = {programName, nullptr};
  std::optional<QCoreApplication> app;
  std::optional<SignalWatch> watch;
  if (!QCoreApplication::instance()) {
    app.emplace(argc, argv);
    if (ctx.Streams().OwnsSignals) watch.emplace(ctx.Interrupt());
  }
  return ctx.EndAfterSignal(body());
}

}  // namespace ovrel::cli
