#include "cli/CliLinkUi.h"

#include <unistd.h>

#include <QJsonObject>
#include <cstdio>

#include "cli/Command.h"
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

void CliLinkUi::SetStatusText(int panel, const QString& text) {
  if (panel != 0) return;
  Say(text);
  EmitJson(QStringLiteral("status"), {{QStringLiteral("text"), text}});
}

void CliLinkUi::ShowMessage(const QString& text, LinkIcon, const QString& detail) {
  // A backup that cannot be kept does not stop the operation: it says
  // nothing about how the operation ends.
  if (text == linktext::kBackupFailed)
    BackupFailedFlag = true;
  else
    LastMessage = detail.isEmpty() ? text : text + ' ' + detail;
  if (text == linktext::kPortOpenFailed) PortOpenFailed = true;
  Say(text);
  if (!detail.isEmpty()) Say(detail);
  NoteOutcome(detail.isEmpty() ? text : text + ' ' + detail);
  EmitJson(QStringLiteral("message"),
           {{QStringLiteral("text"), text}, {QStringLiteral("detail"), detail}});
}

void CliLinkUi::ProbingPort(int index) {
  const QString port = Ports.value(index);
  Say(QStringLiteral("probing %1").arg(port));
  EmitJson(QStringLiteral("probe"), {{QStringLiteral("port"), port}});
}

void CliLinkUi::Progress(const LinkProgress& p) {
  if (p.Count == 0) {
    ClearBar();
    return;
  }
  ++StepsSent;
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

void CliLinkUi::StartOperation() {
  PortOpenFailed = false;
  BackupFailedFlag = false;
  StepsSent = 0;
  LastMessage.clear();
}

int CliLinkUi::FailureStatus() const {
  if (PortOpenFailed) return ExitNotFound;
  if (!LastMessage.isEmpty() && !LastMessage.startsWith(linktext::kCheckSumError))
    return ExitFailed;
  // No message: a reply was missing or wrong, or the port stayed closed.
  return StepsSent > 0 ? ExitWrongAnswer : ExitNotFound;
}

}  // namespace ovrel::cli
