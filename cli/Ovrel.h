#pragma once
// Runs one ovrel command line (the arguments after the program's name) and
// returns its exit status. Output goes to standard output and error; "--json"
// anywhere in the arguments turns standard output into JSON events.

#include <string>
#include <vector>

namespace ovrel::cli {

int RunOvrel(std::vector<std::string> args);

}  // namespace ovrel::cli
