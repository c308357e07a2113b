// The command-line companion of Sorvani Ovrelware, for scripting: the
// table of commands and the run of one command line. Each command group
// lives in its own file and contributes its entries to the table.

#include "cli/Ovrel.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/DeviceCommands.h"
#include "cli/JsonOutput.h"

namespace ovrel::cli {
namespace {

std::vector<Command> AllCommands() {
  std::vector<Command> commands;
  for (auto group : {LibraryCommands, InfoCommands, SessionCommands, ImportCommands,
                     SweepCommands, PlotCommands, MemoryCommands, ConvertCommands,
                     SoundCommands}) {
    for (const Command& command : group()) commands.push_back(command);
  }
  return commands;
}

void PrintHelp(const std::vector<Command>& commands) {
  std::cout << "Usage: ovrel [--json] COMMAND [ARGUMENTS]\n"
               "Companion of Sorvani Ovrelware for scripting: compiles session libraries,\n"
               "reads session and library files, and uploads to, adds to, reads, backs up\n"
               "and restores the device. list, extract and remove work on the sessions of\n"
               "the device (--port PORT) or of a library file.\n\n"
               "Commands:\n";
  for (const Command& command : commands) {
    std::string name = command.name;
    name.resize(std::max<std::size_t>(name.size() + 1, 12), ' ');
    std::cout << "  " << name << command.summary << "\n";
  }
  std::cout << DeviceCommandsHelp();
  std::cout << "\nOptions:\n"
               "  --json      print every event as one JSON object a line on standard output:\n"
               "              progress steps (command letter, block), status texts, messages,\n"
               "              the data of info and ports, and the result (status, message)\n"
               "\n\"ovrel COMMAND --help\" describes one command. Progress goes to standard\n"
               "error as a one-line bar when standard error is a terminal.\n"
            << kExitStatusHelp;
}

int RunCommand(const std::vector<Command>& commands, const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << "ovrel: no command given. \"ovrel --help\" lists the commands.\n";
    NoteOutcome(QStringLiteral("no command given"));
    return ExitUsage;
  }
  const std::string& name = args.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(commands);
    return ExitOk;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const Command& command : commands) {
    if (name != command.name) continue;
    if (!rest.empty() && (rest.front() == "--help" || rest.front() == "-h")) {
      std::cout << command.help;
      return ExitOk;
    }
    return command.run(rest);
  }
  if (const int status = RunDeviceCommand(name, rest); status >= 0) return status;
  std::cerr << "ovrel: unknown command \"" << name << "\". \"ovrel --help\" lists the commands.\n";
  NoteOutcome(QStringLiteral("unknown command"));
  return ExitUsage;
}

}  // namespace

int RunOvrel(std::vector<std::string> args) {
  const auto json = std::remove(args.begin(), args.end(), std::string("--json"));
  SetJsonMode(json != args.end());
  args.erase(json, args.end());
  const std::vector<Command> commands = AllCommands();
  if (!JsonMode()) return RunCommand(commands, args);

  // Standard output carries only JSON: the commands' text output becomes
  // one "output" event.
  std::ostringstream text;
  std::streambuf* const out = std::cout.rdbuf(text.rdbuf());
  const int status = RunCommand(commands, args);
  std::cout.rdbuf(out);
  if (!text.str().empty())
    EmitJson(QStringLiteral("output"),
             {{QStringLiteral("text"), QString::fromStdString(text.str())}});
  EmitResult(status);
  return status;
}

}  // namespace ovrel::cli
