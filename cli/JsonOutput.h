#pragma once
// The --json mode of ovrel: every event of a command (progress steps,
// status texts, messages, the data of "info" and "ports", the result) is
// one JSON object on its own line of standard output, for scripts.

#include <QJsonObject>
#include <QString>

namespace ovrel::cli {

void SetJsonMode(bool on);
bool JsonMode();

// Writes event (with "event": kind) as one line on standard output when the
// JSON mode is on; does nothing otherwise.
void EmitJson(const QString& kind, QJsonObject event = {});

// The last outcome text of the running command (a failure, a usage error,
// a device status text): the message of the result event.
void NoteOutcome(const QString& text);
// The result event: the exit status and the last outcome text.
void EmitResult(int status);

}  // namespace ovrel::cli
