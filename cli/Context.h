#pragma once
// What every ovrel command is handed: where its text goes (the process's
// standard output and error, or a caller's own streams), the --json event
// sink, the outcome that the result event reports, and the interruption
// token that the device commands poll. Nothing of a run is kept anywhere
// else, so that one process can run many command lines (the tests do).

#include <QJsonObject>
#include <QString>
#include <ostream>
#include <sstream>
#include <string>

#include "cli/Interruption.h"

namespace ovrel::cli {

// The streams one command line runs on, and what ovrel may assume of its
// process.
struct Console {
  std::ostream& Out;
  std::ostream& Err;
  // Progress shows as a one-line bar on Err.
  bool ErrIsTerminal = false;
  // The process is ovrel's own: a device command takes over SIGINT, SIGTERM
  // and SIGHUP (so that a write into the device is finished before it stops).
  bool OwnsSignals = false;
};

class Context {
 public:
  Context(const Console& console, bool json);
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // The command's text output: the console's, or in --json mode gathered
  // into one "output" event at the end, so that it carries only JSON.
  std::ostream& Out() { return json_ ? gathered_ : console_.Out; }
  // Standard error: messages, never data.
  std::ostream& Err() { return console_.Err; }
  const Console& Streams() const { return console_; }

  // One line on standard error, clearing the progress bar first.
  void Say(const QString& text);
  // The progress bar's line (drawn again in place), and its removal.
  void ShowBar(const QString& line);
  void ClearBar();

  bool Json() const { return json_; }
  // Writes event (with "event": kind) as one line of the console's output
  // in --json mode; does nothing otherwise. A reader that went away stops
  // the printing, never the command.
  void Emit(const QString& kind, QJsonObject event = {});

  // The last outcome (a failure, a usage error, a device status text): the
  // message of the result event.
  void NoteOutcome(const QString& text) { outcome_ = text; }
  const QString& Outcome() const { return outcome_; }
  // What the device's memory holds after the command's device job
  // ("untouched", "replaced", ...): the "device" of the result event.
  void NoteDeviceMemory(const QString& word) { deviceMemory_ = word; }

  // Reports wrong usage of command on stderr and returns ExitUsage.
  int UsageError(const std::string& command, const std::string& what);
  // Reports a failed operation (one line) on stderr and returns ExitFailed.
  int Failure(const std::string& what);
  // Ends a command with status: text on stderr and as the result's message.
  int Finish(int status, const QString& text);

  Interruption& Interrupt() { return interruption_; }
  // Ends a command that a signal stopped: its exit status, 128 and the
  // signal's number. A command whose own outcome came after the signal (a
  // write that was let finish and then failed) keeps that failure as the
  // result's message, followed by the stop.
  int EndAfterSignal(int status);

  // Ends the run in --json mode: the gathered text output as an "output"
  // event, then the result event (status, message).
  void EmitResult(int status);

 private:
  Console console_;
  bool json_;
  std::ostringstream gathered_;
  QString outcome_;
  QString deviceMemory_;
  bool barShown_ = false;
  Interruption interruption_;
};

}  // namespace ovrel::cli
