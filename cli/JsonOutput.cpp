#include "cli/JsonOutput.h"

#include <QJsonDocument>
#include <cstdio>

namespace ovrel::cli {

namespace {
bool jsonMode = false;
QString lastOutcome;
}  // namespace

void SetJsonMode(bool on) {
  jsonMode = on;
}

bool JsonMode() {
  return jsonMode;
}

void EmitJson(const QString& kind, QJsonObject event) {
  // A reader that went away stops the printing, never the command.
  if (!jsonMode || std::ferror(stdout)) return;
  event.insert(QStringLiteral("event"), kind);
  const QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
  std::fflush(stdout);
}

void NoteOutcome(const QString& text) {
  lastOutcome = text;
}

void EmitResult(int status) {
  EmitJson(QStringLiteral("result"),
           {{QStringLiteral("status"), status}, {QStringLiteral("message"), lastOutcome}});
}

}  // namespace ovrel::cli
