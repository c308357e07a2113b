#include "cli/DeviceCommands.h"

namespace ovrel::cli {

int runDeviceCommand(const std::string&, const std::vector<std::string>&) {
  return -1;
}

std::string deviceCommandsHelp() {
  return {};
}

}  // namespace ovrel::cli
