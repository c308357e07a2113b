// ovrel import and ovrel export-csv: the session editor's legacy import and
// CSV export without its window.


#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "fileio/AtomicFile.h"
#include "format/CsvExport.h"
#include "format/LegacyImport.h"
#include "format/SessionFile.h"
#include "session/SessionName.h"

namespace ovrel::cli {

namespace {

constexpr const char* kImportHelp =
    "Usage: ovrel import LEGACY.rvx -o SESSION.svs\n"
    "Converts a legacy session file as the session editor imports it (durations,\n"
    "notes and modes converted, long segments split, equal steady segments merged)\n"
    "and writes it as a session file. A session cut at 380 segments is written\n"
    "with a message on stderr.\n";

constexpr const char* kExportHelp =
    "Usage: ovrel export-csv SESSION.svs -o OUT.csv\n"
    "Writes the session as semicolon-separated text: the session's name (the file\n"
    "name without its extension), an empty line, then for every segment its start\n"
    "and end point as seconds;m:ss;frequency;pitch.\n";

struct InOut {
  std::string Input;
  std::string Output;
};

// One input file and -o OUTPUT of format ext; returns the exit status of
// wrong usage, or -1 when the arguments are complete.
int InputAndOutput(Context& ctx, const char* command, const char* ext, const CommandLine& line,
                   InOut& io) {
  const QStringList inputs = line.Positional();
  const QStringList outputs = line.Values(QStringLiteral("o"));
  if (inputs.size() > 1) return ctx.UsageError(command, "only one input file can be given.");
  if (outputs.size() > 1) return ctx.UsageError(command, "only one output file can be given.");
  if (outputs.size() == 1 && outputs[0].isEmpty())
    return ctx.UsageError(command, "the output file name is empty.");
  if (inputs.isEmpty()) return ctx.UsageError(command, "no input file given.");
  if (outputs.isEmpty()) return ctx.UsageError(command, "no output file given (-o FILE).");
  io.Input = inputs[0].toStdString();
  io.Output = outputs[0].toStdString();
  if (RefuseOutput(ctx, command, io.Output, {ext}, {io.Input}) != ExitOk) return ExitUsage;
  return -1;
}

int Import(Context& ctx, const CommandLine& line) {
  InOut io;
  if (const int usage = InputAndOutput(ctx, "import", ".svs", line, io); usage >= 0) return usage;
  Session ses;
  const RvxImportOutcome r = ImportRvxFile(ses, io.Input);
  if (!r) {
    std::string what = io.Input + ": " + RvxImportHeadline(r.Failed());
    if (!what.ends_with('.')) what += '.';
    if (const std::string detail = RvxImportDetail(r.Failed()); !detail.empty())
      what += " " + detail;
    return ctx.Failure(what);
  }
  if (!r->Warning.empty()) ctx.Err() << io.Input << ": " << r->Warning << "\n";
  if (const FileWriteResult w = WriteFileAtomically(io.Output, SessionFileText(ses)); !w)
    return ctx.Failure(w.Error());
  return ExitOk;
}

int ExportCsv(Context& ctx, const CommandLine& line) {
  InOut io;
  if (const int usage = InputAndOutput(ctx, "export-csv", ".csv", line, io); usage >= 0)
    return usage;
  if (!HasExtension(io.Input, ".svs"))
    return ctx.Failure(io.Input + ": Unsupported session file format.");
  const SessionReadResult read = ReadSessionFile(io.Input);
  if (!read) return ctx.Failure(read.Error());
  if (const FileWriteResult w = ExportSesAsCSV(*read, SesNameFromFileName(io.Input), io.Output); !w)
    return ctx.Failure(w.Error());
  return ExitOk;
}

}  // namespace

std::vector<Command> ImportCommands() {
  return {{.name = "import",
           .summary = "convert a legacy session file (.rvx) into a session file",
           .usage = kImportHelp,
           .options = {OutputOption("SESSION.svs", "the session file to write (required)")},
           .run = Import,
           .writesFiles = true},
          {.name = "export-csv",
           .summary = "write a session as semicolon-separated points (.csv)",
           .usage = kExportHelp,
           .options = {OutputOption("OUT.csv", "the file to write (required)")},
           .run = ExportCsv,
           .writesFiles = true}};
}

}  // namespace ovrel::cli
