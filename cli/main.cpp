// ovrel: the command-line companion of Sorvani Ovrelware. Everything it
// does lives in the ovrel_cli library, where tests run it in-process too.

#include <string>
#include <vector>

#include "cli/Ovrel.h"

int main(int argc, char** argv) {
  return ovrel::cli::RunOvrel(std::vector<std::string>(argv + 1, argv + argc));
}
