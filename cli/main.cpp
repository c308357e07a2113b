// ovrel: the command-line companion of Sorvani Ovrelware, for scripting.
// Each command group lives in its own file and contributes its entries to
// the table below.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/DeviceCommands.h"

namespace {

using ovrel::cli::Command;

std::vector<Command> AllCommands() {
  std::vector<Command> commands;
  for (auto group : {ovrel::cli::LibraryCommands, ovrel::cli::InfoCommands,
                     ovrel::cli::SessionCommands, ovrel::cli::ImportCommands,
                     ovrel::cli::PlotCommands}) {
    for (const Command& command : group()) commands.push_back(command);
  }
  return commands;
}

void PrintHelp(const std::vector<Command>& commands) {
  std::cout << "Usage: ovrel COMMAND [ARGUMENTS]\n"
               "Companion of Sorvani Ovrelware for scripting: compiles session libraries and\n"
               "reads session and library files.\n\n"
               "Commands:\n";
  for (const Command& command : commands) {
    std::string name = command.name;
    name.resize(std::max<std::size_t>(name.size() + 1, 12), ' ');
    std::cout << "  " << name << command.summary << "\n";
  }
  std::cout << ovrel::cli::deviceCommandsHelp();
  std::cout << "\n\"ovrel COMMAND --help\" describes one command.\n"
               "Exit status: 0 success, 1 the operation failed, 2 wrong usage.\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::vector<Command> commands = AllCommands();
  if (args.empty()) {
    std::cerr << "ovrel: no command given. \"ovrel --help\" lists the commands.\n";
    return ovrel::cli::ExitUsage;
  }
  const std::string& name = args.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(commands);
    return ovrel::cli::ExitOk;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const Command& command : commands) {
    if (name != command.name) continue;
    if (!rest.empty() && (rest.front() == "--help" || rest.front() == "-h")) {
      std::cout << command.help;
      return ovrel::cli::ExitOk;
    }
    return command.run(rest);
  }
  if (const int status = ovrel::cli::runDeviceCommand(name, rest); status >= 0) return status;
  std::cerr << "ovrel: unknown command \"" << name << "\". \"ovrel --help\" lists the commands.\n";
  return ovrel::cli::ExitUsage;
}
