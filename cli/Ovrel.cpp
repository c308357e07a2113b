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
#include "cli/StopSignals.h"

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
         "\n\"ovrel help COMMAND\" or \"ovrel COMMAND --help\" describes one command.\n"
         "Progress goes to standard error as a one-line bar when standard error is a\n"
         "terminal. A command that writes a file replaces an existing file of that\n"
         "name, as cp does, but never its own input (also under another name or\n"
         "through a link) and never a file whose extension names another format.\n"
      << kExitStatusHelp;
}

const Command* Find(const std::vector<Command>& commands, const std::string& name) {
  const auto command = std::find_if(commands.begin(), commands.end(),
                                    [&](const Command& c) { return name == c.name; });
  return command == commands.end() ? nullptr : &*command;
}

int UnknownCommand(Context& ctx, const std::string& name) {
  ctx.Err() << "ovrel: unknown command \"" << name << "\". \"ovrel --help\" lists the commands.\n";
  ctx.NoteOutcome(QStringLiteral("unknown command"));
  return ExitUsage;
}

// "ovrel help" and "ovrel help COMMAND".
int Help(Context& ctx, const std::vector<Command>& commands, const std::vector<std::string>& args) {
  if (args.size() < 2) {
    PrintHelp(ctx.Out(), commands);
    return ExitOk;
  }
  const Command* command = Find(commands, args[1]);
  if (!command) return UnknownCommand(ctx, args[1]);
  ctx.Out() << HelpOf(*command);
  return ExitOk;
}

// Ends a command with status, or with the stop by signal sig (0: none)
// when one came and the command did not end with a signal's status itself.
int StatusAfter(Context& ctx, int status, int sig) {
  if (sig == 0 || status >= ExitSignal) return status;
  ctx.Say(QStringLiteral("Stopped by %1.").arg(SignalName(sig)));
  ctx.NoteOutcome(QStringLiteral("Stopped by %1.").arg(SignalName(sig)));
  return ExitSignal + sig;
}

// Splits the command's arguments by its declared options and runs it.
int Run(Context& ctx, const Command& command, const std::vector<std::string>& args) {
  CommandLine line;
  if (!line.Parse(args, command.options, command.negativeNumbers)) {
    const int status =
        ctx.UsageError(command.name, line.MissingValue ? "\"" + line.Bad + "\" needs a value."
                                                       : "unknown option \"" + line.Bad + "\".");
    return StatusAfter(ctx, status, SignalHeldWithoutWatch());
  }
  HeldStopSignals stop(command.writesFiles && ctx.Streams().OwnsSignals);
  const int status = command.run(ctx, line);
  const int sig = stop.Arrived();
  return StatusAfter(ctx, status, sig != 0 ? sig : SignalHeldWithoutWatch());
}

int RunCommand(Context& ctx, const std::vector<std::string>& args) {
  const std::vector<Command> commands = AllCommands();
  if (args.empty()) {
    ReleaseSignalsHeldFromStart();
    ctx.Err() << "ovrel: no command given. \"ovrel --help\" lists the commands.\n";
    ctx.NoteOutcome(QStringLiteral("no command given"));
    return ExitUsage;
  }
  const std::string& name = args.front();
  const Command* command = Find(commands, name);
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const bool asksHelp = !rest.empty() && (rest.front() == "--help" || rest.front() == "-h");
  // The signals held since ovrel's start wait only for a device command's
  // watch; everything else meets them as it always did.
  if (!command || !command->watchesSignals || asksHelp) ReleaseSignalsHeldFromStart();
  if (name == "--help" || name == "-h") return Help(ctx, commands, {});
  if (name == "help") return Help(ctx, commands, args);
  if (!command) return UnknownCommand(ctx, name);
  if (asksHelp) {
    ctx.Out() << HelpOf(*command);
    return ExitOk;
  }
  return Run(ctx, *command, rest);
}

}  // namespace

std::string HelpOf(const Command& command) {
  std::string help = command.usage;
  help += OptionHelp(command.options);
  return help + command.notes;
}

OptionSpec OutputOption(const char* valueName, const char* help) {
  return {{QStringLiteral("o"), QStringLiteral("output")},
          QString::fromLatin1(valueName),
          QString::fromUtf8(help)};
}

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
