// ovrel compile: the library compiler without its window.

#include <iostream>

#include "cli/Command.h"
#include "library/LibraryCompiler.h"
#include "library/LibraryList.h"

namespace ovrel::cli {

namespace {

constexpr const char* kCompileHelp =
    "Usage: ovrel compile -o OUT.svl [SESSION.svs ...]\n"
    "Adds the session files to a library in the order given, with the limits of the\n"
    "library compiler (30 sessions, 2048 bytes of session memory), compiles it and\n"
    "writes the library file OUT.svl. Without sessions it writes the empty library.\n"
    "Prints the available memory on success.\n"
    "  -o, --output OUT.svl   the library file to write (required)\n";

int Compile(const std::vector<std::string>& args) {
  std::string output;
  std::vector<std::string> sessions;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      sessions.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-o" || arg == "--output") {
      if (i + 1 == args.size()) return UsageError("compile", arg + " needs a file name.");
      if (!output.empty()) return UsageError("compile", "only one output file can be given.");
      output = args[++i];
    } else if (arg.starts_with("--output=")) {
      if (!output.empty()) return UsageError("compile", "only one output file can be given.");
      output = arg.substr(9);
    } else {
      return UsageError("compile", "unknown option \"" + arg + "\".");
    }
  }
  if (output.empty()) return UsageError("compile", "no output file given (-o OUT.svl).");

  LibraryList list;
  for (const std::string& session : sessions) {
    const LibraryList::Result result = list.Add(session);
    if (!result.Ok()) {
      if (result.Outcome == LibraryList::Status::OutOfMemory)
        return Failure(session + ": " + result.Message);
      return Failure(result.Message);
    }
  }
  const CompiledLibrary compiled = CompileSesLib(list.Entries());
  if (!compiled) return Failure(compiled.Error);
  for (const std::string& warning : compiled.Warnings) std::cerr << "Warning: " << warning << "\n";
  if (const auto error = WriteLibraryFile(output, compiled.Image)) return Failure(*error);
  std::cout << list.AvailMemLabel() << "\n";
  return ExitOk;
}

}  // namespace

std::vector<Command> LibraryCommands() {
  return {{"compile", "compile session files into a library file (.svl)", kCompileHelp, Compile}};
}

}  // namespace ovrel::cli
