#include "cli/Context.h"

#include <QJsonDocument>

#include "cli/Command.h"

namespace ovrel::cli {

Context::Context(const Console& console, bool json) : console_(console), json_(json) {}

void Context::Say(const QString& text) {
  ClearBar();
  console_.Err << text.toStdString() << '\n' << std::flush;
}

void Context::ShowBar(const QString& line) {
  console_.Err << "\r\033[K" << line.toStdString() << std::flush;
  barShown_ = true;
}

void Context::ClearBar() {
  if (!barShown_) return;
  console_.Err << "\r\033[K";
  barShown_ = false;
}

void Context::Emit(const QString& kind, QJsonObject event) {
  if (!json_ || !console_.Out) return;
  event.insert(QStringLiteral("event"), kind);
  console_.Out << QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() << '\n'
               << std::flush;
}

int Context::UsageError(const std::string& command, const std::string& what) {
  NoteOutcome(QString::fromStdString(what));
  console_.Err << "ovrel " << command << ": " << what << " \"ovrel " << command
               << " --help\" shows the usage.\n";
  return ExitUsage;
}

int Context::Failure(const std::string& what) {
  NoteOutcome(QString::fromStdString(what));
  console_.Err << what << "\n";
  return ExitFailed;
}

int Context::Finish(int status, const QString& text) {
  Say(text);
  NoteOutcome(text);
  return status;
}

int Context::EndAfterSignal(int status) {
  const int signal = interruption_.Signal();
  if (signal == 0) return status;
  const QString stopped = QStringLiteral("Stopped by %1.").arg(SignalName(signal));
  Say(stopped);
  const bool failedAfterSignal = status != ExitOk && status != ExitSignal + signal;
  NoteOutcome(failedAfterSignal && !outcome_.isEmpty() ? outcome_ + QLatin1Char(' ') + stopped
                                                       : stopped);
  return ExitSignal + signal;
}

void Context::EmitResult(int status) {
  const std::string text = gathered_.str();
  if (!text.empty())
    Emit(QStringLiteral("output"), {{QStringLiteral("text"), QString::fromStdString(text)}});
  QJsonObject result{{QStringLiteral("status"), status}, {QStringLiteral("message"), outcome_}};
  if (!deviceMemory_.isEmpty()) result.insert(QStringLiteral("device"), deviceMemory_);
  Emit(QStringLiteral("result"), result);
}

}  // namespace ovrel::cli
