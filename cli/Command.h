#pragma once
// One command of ovrel: its name, a one-line summary for the command list,
// its help text, and the function that runs it with the run's context.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
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

// One command: its name, a line for the command list, its options (the
// one declaration that both parses its arguments and lists them in its
// help) and the function that runs it on the parsed arguments.
struct Command {
  const char* name;
  const char* summary;  // one line for "ovrel --help"
  const char* usage;    // the help's "Usage:" lines and what the command does
  std::vector<OptionSpec> options;
  const char* notes = "";  // the help's text after the option lines
  int (*run)(Context& ctx, const CommandLine& line) = nullptr;
  // Arguments such as "-4" are values (sweep's frequencies), not options.
  bool negativeNumbers = false;
  // The command writes only files: SIGINT, SIGTERM and SIGHUP are held back
  // while it runs, so that no write is cut off and no temporary file is left;
  // it then ends with the signal's exit status.
  bool writesFiles = false;
  // The command works on the device in an event loop that watches the
  // signals that would end ovrel (RunWithEventLoop): those held since
  // ovrel's start stay held for the watch. Other commands meet them as any
  // program does.
  bool watchesSignals = false;
};

// The text of "ovrel COMMAND --help" and "ovrel help COMMAND".
std::string HelpOf(const Command& command);

// The -o, --output option, with the help line help.
OptionSpec OutputOption(const char* valueName, const char* help);

// Refuses an output before anything is read or written: the output must not
// be one of the inputs (the same path spelt otherwise, a symbolic or a hard
// link to it), and must not end in the extension of a format other than the
// command's own (formats: its extensions, with their dots). Replacing any
// other existing file is the user's choice. Returns ExitUsage after saying
// why, or ExitOk.
int RefuseOutput(Context& ctx, const char* command, const std::string& output,
                 const std::vector<std::string>& formats, const std::vector<std::string>& inputs);

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
