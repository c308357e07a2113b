#pragma once
// One command of ovrel: its name, a one-line summary for the command list,
// its help text, and the function that runs it.

#include <string>
#include <vector>

namespace ovrel::cli {

// Exit status of every command.
enum ExitStatus : int {
  ExitOk = 0,      // success
  ExitFailed = 1,  // the operation failed; a message went to stderr
  ExitUsage = 2,   // wrong usage
};

struct Command {
  const char* name;
  const char* summary;  // one line for "ovrel --help"
  const char* help;     // the text of "ovrel COMMAND --help"
  int (*run)(const std::vector<std::string>& args);
};

// Reports wrong usage of `command` on stderr and returns ExitUsage.
int UsageError(const std::string& command, const std::string& what);
// Reports a failed operation (one line) on stderr and returns ExitFailed.
int Failure(const std::string& what);

// True when `path` ends in `ext` (with its dot), compared in lower case.
bool HasExtension(const std::string& path, const std::string& ext);

// The command groups.
std::vector<Command> LibraryCommands();  // compile
std::vector<Command> InfoCommands();     // info
std::vector<Command> SessionCommands();  // check
std::vector<Command> ImportCommands();   // import, export-csv
std::vector<Command> PlotCommands();     // plot

}  // namespace ovrel::cli
