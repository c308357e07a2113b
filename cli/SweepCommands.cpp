// ovrel sweep: writes a new session holding a frequency sweep, cut into
// segments as the editor's "Insert Sweep..." cuts it.

#include <iostream>

#include "cli/Command.h"
#include "fileio/AtomicFile.h"
#include "session/SesTime.h"
#include "format/SessionFile.h"
#include "session/Sweep.h"

namespace ovrel::cli {

namespace {

constexpr const char* kSweepHelp =
    "Usage: ovrel sweep FROM TO MINUTES [--pitch P | --pitch P1:P2] [--mode NAME]\n"
    "                   -o OUT.svs\n"
    "Writes a new session that sweeps the frequency in a straight line from FROM\n"
    "to TO hertz (1 to 48) over MINUTES, given as M or M:SS in whole 15-second\n"
    "units (0:15 to 2185:00). The length is cut into the fewest segments of at\n"
    "most 5:45, their times as equal as possible (longer ones first). Each segment\n"
    "runs from the line's frequency at its start to its frequency at its end, to\n"
    "the nearest hertz, so each one ends where the next begins and the last ends\n"
    "at TO.\n";

constexpr const char* kSweepNotes =
    "A value out of range writes nothing and exits with 2. Example:\n"
    "  ovrel sweep 14 4 30 --pitch 200:100 -o calm.svs\n"
    "writes six segments of 5:00 running 14->12, 12->11, 11->9, 9->7, 7->6 and\n"
    "6->4 Hz at pitches 192, 175, 158, 142, 125 and 108 Hz.\n";

int Sweep(Context& ctx, const CommandLine& line) {
  SweepInput input;
  const QStringList given = line.Positional();
  std::vector<std::string> values;
  for (const QString& value : given) values.push_back(value.toStdString());
  input.Pitch =
      line.IsSet(QStringLiteral("pitch")) ? line.Text(QStringLiteral("pitch")) : input.Pitch;
  input.Mode = line.IsSet(QStringLiteral("mode")) ? line.Text(QStringLiteral("mode")) : input.Mode;
  const std::string out = line.Text(QStringLiteral("o"));
  if (line.IsSet(QStringLiteral("o")) && out.empty())
    return ctx.UsageError("sweep", "the output file name is empty.");
  if (values.size() != 3)
    return ctx.UsageError("sweep", "give the start and end frequency and the length (FROM TO MINUTES).");
  if (out.empty()) return ctx.UsageError("sweep", "no session file given (-o OUT.svs).");
  if (!HasExtension(out, ".svs")) return ctx.UsageError("sweep", "the session file must end in .svs.");
  if (RefuseOutput(ctx, "sweep", out, {".svs"}, {}) != ExitOk) return ExitUsage;
  input.From = values[0];
  input.To = values[1];
  input.Length = values[2];

  const SweepResult sweep = MakeSweep(input);
  if (!sweep.Ok()) {
    std::string reasons;
    for (const SweepProblem& p : sweep.Problems)
      reasons += (reasons.empty() ? "" : "; ") + p.Reason;
    return ctx.UsageError("sweep", reasons + ".");
  }
  Session ses;
  ses.SegCount = static_cast<int32_t>(sweep.Segments.size());
  std::copy(sweep.Segments.begin(), sweep.Segments.end(), ses.SegData.begin() + 1);
  if (const FileWriteResult w = WriteFileAtomically(out, SessionFileText(ses)); !w)
    return ctx.Failure(w.Error());
  const int64_t seconds = sweep.TotalSeconds();
  if (const std::string warning = DeviceLengthWarning(seconds / 60, seconds % 60); !warning.empty())
    ctx.Err() << "Warning: " << warning << "\n";
  return ExitOk;
}

}  // namespace

std::vector<Command> SweepCommands() {
  return {
      {.name = "sweep",
       .summary = "write a session that sweeps the frequency from one value to another",
       .usage = kSweepHelp,
       .options = {{{QStringLiteral("pitch")},
                    QStringLiteral("P"),
                    QStringLiteral("the pitch of every segment, 48 to 400 Hz (100 by\n"
                                       "default), or P1:P2, a pitch line from P1 to P2\n"
                                       "taken at each segment's middle")},
                   {{QStringLiteral("mode")},
                    QStringLiteral("NAME"),
                    QStringLiteral("LR, IN, FB, CR, LA, SA or SL (IN by default)")},
                   OutputOption("OUT.svs", "the session file to write (required)")},
       .notes = kSweepNotes,
       .run = Sweep,
       .negativeNumbers = true,
       .writesFiles = true}};
}

}  // namespace ovrel::cli
