// ovrel compile: the library compiler without its window.


#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "library/LibraryCompiler.h"
#include "library/LibraryList.h"

namespace ovrel::cli {

namespace {

constexpr const char* kCompileHelp =
    "Usage: ovrel compile -o OUT.svl [SESSION.svs ...]\n"
    "Adds the session files to a library in the order given, with the limits of the\n"
    "library compiler (30 sessions, 2048 bytes of session memory), compiles it and\n"
    "writes the library file OUT.svl. Without sessions it writes the empty library.\n"
    "Prints the available memory on success.\n";

int Compile(Context& ctx, const CommandLine& line) {
  if (line.Values(QStringLiteral("o")).size() > 1)
    return ctx.UsageError("compile", "only one output file can be given.");
  const std::string output = line.Value(QStringLiteral("o")).toStdString();
  if (output.empty()) return ctx.UsageError("compile", "no output file given (-o OUT.svl).");
  std::vector<std::string> sessions;
  for (const QString& session : line.Positional()) sessions.push_back(session.toStdString());
  if (RefuseOutput(ctx, "compile", output, {".svl"}, sessions) != ExitOk) return ExitUsage;

  LibraryList list;
  for (const std::string& session : sessions) {
    const LibraryList::Result result = list.Add(session);
    if (!result.Ok()) {
      if (result.Outcome == LibraryList::Status::OutOfMemory)
        return ctx.Failure(session + ": " + result.Message);
      return ctx.Failure(result.Message);
    }
  }
  const CompiledLibrary compiled = CompileSesLib(list.Entries());
  if (!compiled) return ctx.Failure(compiled.Error());
  for (const std::string& warning : compiled->Warnings) ctx.Err() << "Warning: " << warning << "\n";
  if (const auto error = WriteLibraryFile(output, compiled->Image)) return ctx.Failure(*error);
  ctx.Out() << list.AvailMemLabel() << "\n";
  return ExitOk;
}

}  // namespace

std::vector<Command> LibraryCommands() {
  return {{.name = "compile",
           .summary = "compile session files into a library file (.svl)",
           .usage = kCompileHelp,
           .options = {OutputOption("OUT.svl", "the library file to write (required)")},
           .run = Compile,
           .writesFiles = true}};
}

}  // namespace ovrel::cli
