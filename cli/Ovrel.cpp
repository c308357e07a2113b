// The command-line companion of Sorvani Ovrelware, for scripting: the one
// table of commands and the run of one command line. Each command group
// lives in its own file and contributes its entries to the table.

#include "cli/Ovrel.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "ProductInfo.h"
#include "cli/Command.h"

namespace ovrel::cli {
namespace {

std::vector<Command> AllCommands() {
  std::vector<Command> commands;
  for (auto group : {LibraryCommands, InfoCommands, SessionCommands, ImportCommands,
                     SweepCommands, PlotCommands, MemoryCommands, DeviceCommands,
                     ConvertCommands, SoundCommands}) {
    for (const Command& command : group()) commands.push_back(command);
  }
  return commands;
}

void PrintHelp(std::ostream& out, const std::vector<Command>& commands) {
  out << "Usage: ovrel [--json] COMMAND [ARGUMENTS]\n"
         "Companion of " << kProductName << " for scripting: compiles session libraries,\n"
         "reads session and library files, and uploads to, adds to, reads, backs up\n"
         "and restores the device. list, extract and remove work on the sessions of\n"
         "the device (--port PORT) or of a library file.\n\n"
         "Commands:\n";
  for (const Command& command : commands) {
    std::string name = command.name;
    name.resize(std::max<std::size_t>(name.size() + 1, 12), ' ');
    out << "  " << name << command.summary << "\n";
  }
  out << "\nOptions:\n"
         "  --json      print every event as one JSON object a line on standard output:\n"
         "              progress steps (command letter, block), status texts, messages,\n"
         "              the data of info and ports, and the result (status, message)\n"
         "\n\"ovrel COMMAND --help\" describes one command. Progress goes to standard\n"
         "error as a one-line bar when standard error is a terminal.\n"
      << kExitStatusHelp;
}

int RunCommand(Context& ctx, const std::vector<std::string>& args) {
  const std::vector<Command> commands = AllCommands();
  if (args.empty()) {
    ctx.Err() << "ovrel: no command given. \"ovrel --help\" lists the commands.\n";
    ctx.NoteOutcome(QStringLiteral("no command given"));
    return ExitUsage;
  }
  const std::string& name = args.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(ctx.Out(), commands);
    return ExitOk;
  }
  const auto command = std::find_if(commands.begin(), commands.end(),
                                    [&](const Command& c) { return name == c.name; });
  if (command == commands.end()) {
    ctx.Err() << "ovrel: unknown command \"" << name
              << "\". \"ovrel --help\" lists the commands.\n";
    ctx.NoteOutcome(QStringLiteral("unknown command"));
    return ExitUsage;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (!rest.empty() && (rest.front() == "--help" || rest.front() == "-h")) {
    ctx.Out() << command->help;
    return ExitOk;
  }
  return command->run(ctx, rest);
}

}  // namespace

int RunOvrel(std::vector<std::string> args, const Console& console) {
  const auto json = std::remove(args.begin(), args.end(), std::string("--json"));
  Context ctx(console, json != args.end());
  args.erase(json, args.end());
  const int status = RunCommand(ctx, args);
  ctx.Out().flush();
  ctx.EmitResult(status);
  return status;
}

int RunOvrel(std::vector<std::string> args) {
  return RunOvrel(std::move(args), {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, true});
}

}  // namespace ovrel::cli
