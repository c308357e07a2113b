// ovrel check: reads session files with the session editor's rules.

#include "cli/Command.h"
#include "session/SessionFile.h"

namespace ovrel::cli {

namespace {

constexpr const char* kCheckHelp =
    "Usage: ovrel check SESSION.svs ...\n"
    "Reads each session file as the session editor opens it. Prints nothing and\n"
    "exits with 0 when every file is valid; otherwise prints one line per faulty\n"
    "file, naming the line and what is wrong, and exits with 1.\n";

int Check(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-')
      return UsageError("check", "unknown option \"" + arg + "\".");
  }
  if (args.empty()) return UsageError("check", "no session file given.");
  int status = ExitOk;
  for (const std::string& path : args) {
    if (!HasExtension(path, ".svs")) {
      status = Failure(path + ": Unsupported session file format.");
      continue;
    }
    if (const SessionReadResult read = ReadSessionFile(path); !read) status = Failure(read.Error);
  }
  return status;
}

}  // namespace

std::vector<Command> SessionCommands() {
  return {{"check", "check session files (.svs) with the editor's rules", kCheckHelp, Check}};
}

}  // namespace ovrel::cli
