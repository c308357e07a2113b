#include "cli/CliDeviceUi.h"

#include <QJsonObject>

#include "cli/Command.h"

namespace ovrel::cli {

namespace {

constexpr int kBarWidth = 30;

QString StepText(const LinkProgress& p) {
  QString what = QString(QChar(p.Command));
  if (p.Block >= 0) what += QStringLiteral(" block %1 of 16").arg(p.Block + 1);
  return what;
}

}  // namespace

void CliDeviceUi::ShowMessage(const JobMessage& message) {
  ctx_.Say(message.Text());
  if (!message.Detail.isEmpty()) ctx_.Say(message.Detail);
  ctx_.NoteOutcome(message.Line());
  ctx_.Emit(QStringLiteral("message"),
            {{QStringLiteral("text"), message.Text()}, {QStringLiteral("detail"), message.Detail}});
}

void CliDeviceUi::ShowResult(const JobResult& result) {
  for (const JobMessage& note : result.Notes) ShowMessage(note);
  if (!result.Message.Empty()) ShowMessage(result.Message);
}

void CliDeviceUi::ProbingPort(int index) {
  const QString port = ports_.value(index);
  ctx_.Say(QStringLiteral("probing %1").arg(port));
  ctx_.Emit(QStringLiteral("probe"), {{QStringLiteral("port"), port}});
}

void CliDeviceUi::Progress(const LinkProgress& p) {
  if (p.Count == 0) {
    // The operation has ended.
    ctx_.ClearBar();
    return;
  }
  if (p.Pause()) return;
  QJsonObject step{{QStringLiteral("step"), p.Step},
                   {QStringLiteral("count"), p.Count},
                   {QStringLiteral("command"), QString(QChar(p.Command))}};
  if (p.Block >= 0) step.insert(QStringLiteral("block"), p.Block);
  ctx_.Emit(QStringLiteral("step"), step);
  if (!ctx_.Streams().ErrIsTerminal) return;
  const int filled = kBarWidth * p.Step / p.Count;
  const QString bar = QString(filled, QChar('#')) + QString(kBarWidth - filled, QChar('.'));
  ctx_.ShowBar(QStringLiteral("[%1] %2/%3 %4").arg(bar).arg(p.Step).arg(p.Count).arg(StepText(p)));
}

int CliDeviceUi::FailureStatus(const JobResult& result) {
  switch (result.Failed) {
    case JobFailure::None:
      break;
    case JobFailure::Changed:
    case JobFailure::Verify:
      return ExitWrongAnswer;
    case JobFailure::File:
    case JobFailure::MemoryLimit:
    case JobFailure::InvalidDeviceImage:
    case JobFailure::NotKept:
      return ExitFailed;
  }
  switch (result.Kind) {
    case FailureKind::None:
      return ExitOk;
    case FailureKind::NotConnected:
    case FailureKind::DeviceNotFound:
      return ExitNotFound;
    case FailureKind::PortBusy:
      return ExitBusy;
    case FailureKind::NoReply:
    case FailureKind::WrongReply:
    case FailureKind::DamagedReply:
    case FailureKind::Checksum:
      return ExitWrongAnswer;
    case FailureKind::PortFailure:
    case FailureKind::Declined:
      return ExitFailed;
  }
  return ExitFailed;
}

}  // namespace ovrel::cli
