// ovrel check: reads session files with the session editor's rules.

#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "format/SessionFile.h"

namespace ovrel::cli {

namespace {

constexpr const char* kCheckHelp =
    "Usage: ovrel check SESSION.svs ...\n"
    "Reads each session file as the session editor opens it. Prints nothing and\n"
    "exits with 0 when every file is valid; otherwise prints one line per faulty\n"
    "file, naming the line and what is wrong, and exits with 1.\n";

int Check(Context& ctx, const CommandLine& line) {
  const QStringList files = line.Positional();
  if (files.isEmpty()) return ctx.UsageError("check", "no session file given.");
  int status = ExitOk;
  for (const QString& file : files) {
    const std::string path = file.toStdString();
    if (!HasExtension(path, ".svs")) {
      status = ctx.Failure(path + ": Unsupported session file format.");
      continue;
    }
    if (const SessionReadResult read = ReadSessionFile(path); !read)
      status = ctx.Failure(read.Error());
  }
  return status;
}

}  // namespace

std::vector<Command> SessionCommands() {
  return {{.name = "check",
           .summary = "check session files (.svs) with the editor's rules",
           .usage = kCheckHelp,
           .options = {},
           .run = Check}};
}

}  // namespace ovrel::cli
