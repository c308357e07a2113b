#pragma once
// The device commands of ovrel: ports, detect, upload, add, download.

#include <string>
#include <vector>

namespace ovrel::cli {

// Runs a device command (ports, detect, upload, add, download); returns -1 when name is not one.
int RunDeviceCommand(const std::string& name, const std::vector<std::string>& args);
// Lines for the command list of "ovrel --help"; empty when there are none.
std::string DeviceCommandsHelp();

}  // namespace ovrel::cli
