#include "cli/DeviceSession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>

#include "cli/Command.h"
#include "cli/StopSignals.h"
#include "storage/ProgramFolder.h"

namespace ovrel::cli {

DeviceSession::DeviceSession(Context& ctx) : Ctx(ctx), Ui(ctx) {
  QObject::connect(&Service, &DeviceService::PortsListed, &Service,
                   [this](const QStringList& ports) { Ui.PortsListed(ports); });
  QObject::connect(&Service, &DeviceService::ProbingPort, &Service,
                   [this](int index) { Ui.ProbingPort(index); });
  QObject::connect(&Service, &DeviceService::Progress, &Service,
                   [this](const LinkProgress& progress) { Ui.Progress(progress); });
  QObject::connect(&Service, &DeviceService::WriteBegan, &Service, [this] { writeBegan_ = true; });
}

std::optional<JobResult> DeviceSession::RunToEnd(
    const std::function<void(DeviceService::Done)>& start) {
  Interruption& interruption = Ctx.Interrupt();
  if (interruption.Requested()) return std::nullopt;
  std::optional<JobResult> result;
  QEventLoop loop;
  interruption.Listen([&] {
    if (!Service.Writing()) {
      loop.quit();
      return;
    }
    Ctx.Say(QStringLiteral("Finishing the write to Sorvani before stopping..."));
  });
  // A write that a signal let finish ends the job: a failure reaches it at
  // once (it is the job's result), a success is said by the job's stage.
  const QMetaObject::Connection writeEnded =
      QObject::connect(&Service, &DeviceService::WriteEnded, &loop, [&] {
        if (interruption.Requested()) loop.quit();
      });
  start([&](const JobResult& r) {
    result = r;
    loop.quit();
  });
  if (!result) loop.exec();
  interruption.Listen(nullptr);
  QObject::disconnect(writeEnded);
  if (!result) return std::nullopt;
  Ui.ShowResult(*result);
  if (result->Job != JobKind::Connect && result->Job != JobKind::Read)
    Ctx.NoteDeviceMemory(result->MemoryWord());
  return result;
}

int DeviceSession::Stopped() const {
  return ExitSignal + Ctx.Interrupt().Signal();
}

int DeviceSession::StoppedWrite() {
  if (!writeBegan_) Ctx.NoteDeviceMemory(QStringLiteral("untouched"));
  return Stopped();
}

int DeviceSession::Choose(const QString& port) {
  if (!port.isEmpty()) {
    Service.SetPort(port);
    return ExitOk;
  }
  Ctx.Say(QStringLiteral("Autodetecting Sorvani..."));
  const auto found = RunToEnd([&](DeviceService::Done done) { Service.Connect(done); });
  if (!found) return Stopped();
  if (!found->Ok()) return ExitNotFound;
  Ctx.Say(QStringLiteral("%1 on %2").arg(found->Status(), found->Port));
  Ctx.Emit(QStringLiteral("device"), {{QStringLiteral("port"), found->Port}});
  return ExitOk;
}

int DeviceSession::Failed(const QString& text, const JobResult& result) {
  const int status = Ctx.Finish(CliDeviceUi::FailureStatus(result), text);
  if (result.Message.Empty()) Ctx.Say(result.Failure());
  QString outcome = text + QStringLiteral(": ") + result.Failure();
  QString state = result.MemoryText();
  if (!state.isEmpty()) {
    if (result.Rewritten() && !result.BackupPath.isEmpty())
      state += QStringLiteral(" \"ovrel restore\" uploads the memory kept before the write.");
    Ctx.Say(state);
    outcome += QLatin1Char(' ') + state;
  }
  Ctx.NoteOutcome(outcome);
  return status;
}

int DeviceSession::ReadMemory(JobResult& read) {
  Ctx.Say(StageText(JobKind::Read, JobStage::Read));
  const auto result = RunToEnd([&](DeviceService::Done done) { Service.Read(done); });
  if (!result) return Stopped();
  read = *result;
  if (!read.Ok()) return Failed(QStringLiteral("Reading the Sorvani session memory failed"), read);
  if (read.HasNote(JobText::BackupFailed)) {
    return Ctx.Finish(ExitFailed,
                      QStringLiteral("The session memory was read but could not be kept."));
  }
  Ctx.Say(QStringLiteral("Session memory kept as %1").arg(read.BackupPath));
  return ExitOk;
}

WriteOptions DeviceSession::Options(bool backup, bool verify) {
  WriteOptions options;
  options.Backup = backup;
  options.Verify = verify;
  options.WorkingFolder = LocateProgramFolders().Program;
  options.ReadPortFailure = LinkText::ReadPortOpenFailed;
  return options;
}

void DeviceSession::SayStages(DeviceJob* job, const QString& written) {
  const JobKind kind = job->Kind();
  QObject::connect(job, &DeviceJob::StageStarted, job,
                   [this, kind](JobStage stage) { Ctx.Say(StageText(kind, stage)); });
  QObject::connect(job, &DeviceJob::StageEnded, job,
                   [this, written](JobStage stage, const JobResult& result) {
                     if (stage == JobStage::Read && !result.BackupPath.isEmpty())
                       Ctx.Say(QStringLiteral("Session memory kept as %1").arg(result.BackupPath));
                     if (stage == JobStage::Write && !written.isEmpty())
                       Ctx.Finish(ExitOk, written);
                   });
}

int DeviceSession::Wrote(const std::optional<JobResult>& ended, const QString& written,
                         const QString& failed) {
  if (!ended) return StoppedWrite();
  const JobResult& result = *ended;
  if (result.Ok()) {
    if (result.Stage == JobStage::Verify) {
      return Ctx.Finish(ExitOk,
                        QStringLiteral("Verified: the session memory holds what was written"));
    }
    return Ctx.Finish(ExitOk, written);
  }
  switch (result.Stage) {
    case JobStage::None:
      return Failed(failed, result);
    case JobStage::Read:
      if (result.Failed == JobFailure::NotKept) {
        return Ctx.Finish(ExitFailed,
                          QStringLiteral("The session memory was read but could not be kept."));
      }
      if (result.Failed == JobFailure::Changed) return Failed(failed, result);
      return Failed(QStringLiteral("Reading the Sorvani session memory failed"), result);
    case JobStage::Write:
      return Failed(failed, result);
    case JobStage::Verify:
      break;
  }
  if (result.Failed != JobFailure::Verify || !result.Written || !result.MemImg)
    return Failed(QStringLiteral("Reading the Sorvani session memory back failed"), result);
  const MemoryImage& meant = *result.Written;
  const MemoryImage& got = *result.MemImg;
  const auto [wrote, held] = std::mismatch(meant.begin(), meant.end(), got.begin());
  return Ctx.Finish(ExitWrongAnswer,
                    QStringLiteral("Verification failed: address %1 holds 0x%2, 0x%3 was written")
                        .arg(wrote - meant.begin())
                        .arg(int{*held}, 2, 16, QChar('0'))
                        .arg(int{*wrote}, 2, 16, QChar('0')));
}

int RunWithEventLoop(Context& ctx, const std::function<int()>& body) {
  int argc = 1;
  char programName[] = "ovrel";
  char* argv[] = {programName, nullptr};
  std::optional<QCoreApplication> app;
  std::optional<SignalWatch> watch;
  if (!QCoreApplication::instance()) {
    app.emplace(argc, argv);
    if (ctx.Streams().OwnsSignals) {
      watch.emplace(ctx.Interrupt());
      SignalsHeldFromStartTakenOver();
    }
  }
  return ctx.EndAfterSignal(body());
}

}  // namespace ovrel::cli
