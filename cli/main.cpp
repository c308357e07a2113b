// ovrel: the command-line companion of Sorvani Ovrelware. Everything it
// does lives in the ovrel_cli library, where tests run it in-process too.

#include <csignal>
#include <string>
#include <vector>

#include "cli/Ovrel.h"
#include "cli/StopSignals.h"

int main(int argc, char** argv) {
  // A stop that arrives before a device command watches for it must wait
  // for the watch, not end ovrel before it has said what became of the device.
  ovrel::cli::HoldSignalsFromStart();
  // A reader of the output that goes away (`| head`) makes writes to it
  // fail instead of ending ovrel in the middle of a write to the device.
  std::signal(SIGPIPE, SIG_IGN);
  return ovrel::cli::RunOvrel(std::vector<std::string>(argv + 1, argv + argc));
}
