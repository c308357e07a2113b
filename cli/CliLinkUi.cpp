#include "cli/CliLinkUi.h"

#include <unistd.h>

#include <QJsonObject>
#include <cstdio>

#include "cli/Command.h"
#include "cli/Interruption.h"
#include "cli/JsonOutput.h"
#include "device/link/DeviceLink.h"

namespace ovrel::cli {

namespace {

constexpr int kBarWidth = 30;
bool barShown = false;

bool StderrIsTerminal() {
  static const bool terminal = isatty(STDERR_FILENO) == 1;
  return terminal;
}

void ClearBar() {
  if (!barShown) return;
  std::fputs("\r\033[K", stderr);
  barShown = false;
}

QString StepText(const LinkProgress& p) {
  QString what = QString(QChar(p.Command));
  if (p.Block >= 0) what += QStringLiteral(" block %1 of 16").arg(p.Block + 1);
  return what;
}

}  // namespace

void Say(const QString& text) {
  ClearBar();
  std::fprintf(stderr, "%s\n", qPrintable(text));
}

void CliLinkUi::ShowMessage(const LinkMessage& message) {
  Say(message.Text());
  if (!message.Detail.isEmpty()) Say(message.Detail);
  NoteOutcome(message.Line());
  EmitJson(QStringLiteral("message"),
           {{QStringLiteral("text"), message.Text()}, {QStringLiteral("detail"), message.Detail}});
}

void CliLinkUi::ShowResult(const OperationResult& result) {
  for (const LinkMessage& note : result.Notes) ShowMessage(note);
  if (!result.Message.Empty()) ShowMessage(result.Message);
}

void CliLinkUi::ProbingPort(int index) {
  const QString port = ports_.value(index);
  Say(QStringLiteral("probing %1").arg(port));
  EmitJson(QStringLiteral("probe"), {{QStringLiteral("port"), port}});
}

void CliLinkUi::Progress(const LinkProgress& p) {
  if (p.Count == 0) {
    // The operation has ended.
    interruption::SetWriting(false);
    ClearBar();
    return;
  }
  // From C on the device's memory is being replaced: a signal waits for
  // the end of the write.
  if (p.Command == 'C') interruption::SetWriting(true);
  if (p.Command == 0) return;  // time passing in a pause: no step
  QJsonObject step{{QStringLiteral("step"), p.Step},
                   {QStringLiteral("count"), p.Count},
                   {QStringLiteral("command"), QString(QChar(p.Command))}};
  if (p.Block >= 0) step.insert(QStringLiteral("block"), p.Block);
  EmitJson(QStringLiteral("step"), step);
  if (!StderrIsTerminal()) return;
  const int filled = kBarWidth * p.Step / p.Count;
  const QString bar = QString(filled, QChar('#')) + QString(kBarWidth - filled, QChar('.'));
  std::fprintf(stderr, "\r\033[K[%s] %d/%d %s", qPrintable(bar), p.Step, p.Count,
               qPrintable(StepText(p)));
  std::fflush(stderr);
  barShown = true;
}

int CliLinkUi::FailureStatus(const OperationResult& result) {
  switch (result.Kind) {
    case FailureKind::None:
      return ExitOk;
    case FailureKind::NotConnected:
    case FailureKind::DeviceNotFound:
      return ExitNotFound;
    case FailureKind::NoReply:
    case FailureKind::WrongReply:
    case FailureKind::Checksum:
    case FailureKind::Changed:
    case FailureKind::Verify:
      return ExitWrongAnswer;
    case FailureKind::PortFailure:
    case FailureKind::File:
    case FailureKind::MemoryLimit:
    case FailureKind::InvalidDeviceImage:
    case FailureKind::NotKept:
      return ExitFailed;
  }
  return ExitFailed;
}

}  // namespace ovrel::cli
