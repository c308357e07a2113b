#pragma once
// Runs one ovrel command line (the arguments after the program's name) and
// returns its exit status. "--json" anywhere in the arguments turns the
// output into JSON events.

#include <string>
#include <vector>

#include "cli/Context.h"

namespace ovrel::cli {

// On the given streams.
int RunOvrel(std::vector<std::string> args, const Console& console);
// On the process's standard output and error, as the ovrel program: device
// commands take over the signals.
int RunOvrel(std::vector<std::string> args);

}  // namespace ovrel::cli
