#pragma once
// One command of ovrel: its name, a one-line summary for the command list,
// its help text, and the function that runs it with the run's context.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Context.h"

namespace ovrel::cli {

// Exit status of every command.
enum ExitStatus : int {
  ExitOk = 0,           // success
  ExitFailed = 1,       // the operation failed; a message went to stderr
  ExitUsage = 2,        // wrong usage
  ExitNotFound = 3,     // the device was not found or its port cannot be opened
  ExitWrongAnswer = 4,  // the device did not answer, answered wrongly or stored other bytes
  ExitBusy = 5,         // another program holds the port: nothing was read or written
  ExitSignal = 128,     // stopped by a signal: 128 + its number (130 SIGINT, 143 SIGTERM)
};

// The exit statuses, as "ovrel --help" and the manual page explain them.
inline constexpr const char* kExitStatusHelp =
    "Exit status: 0 success, 1 the operation failed, 2 wrong usage, 3 the device\n"
    "was not found or its port cannot be opened, 4 the device did not answer,\n"
    "answered wrongly or holds other bytes than were written, 5 another program\n"
    "holds the port (nothing was read or written), 128 + N stopped by\n"
    "signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP; a write into the device that had\n"
    "begun is finished first).\n";

struct Command {
  const char* name;
  const char* summary;  // one line for "ovrel --help"
  const char* help;     // the text of "ovrel COMMAND --help"
  int (*run)(Context& ctx, const std::vector<std::string>& args);
};

// True when `path` ends in `ext` (with its dot), compared in lower case.
bool HasExtension(const std::string& path, const std::string& ext);

// Prints what a library file's bytes hold (as "ovrel info" does; in --json
// mode as an "info" event); returns ExitFailed when it is not a sound library.
int PrintLibraryInfo(Context& ctx, const std::string& path, const std::vector<std::uint8_t>& bytes);

// The command groups, in the order "ovrel --help" lists them.
std::vector<Command> LibraryCommands();  // compile
std::vector<Command> InfoCommands();     // info
std::vector<Command> SessionCommands();  // check
std::vector<Command> ImportCommands();   // import, export-csv
std::vector<Command> SweepCommands();    // sweep
std::vector<Command> PlotCommands();     // plot
std::vector<Command> MemoryCommands();   // list, extract, remove
std::vector<Command> DeviceCommands();   // ports, detect, upload, add, download, backup, restore, backups
std::vector<Command> ConvertCommands();  // convert
std::vector<Command> SoundCommands();    // render

}  // namespace ovrel::cli
