// Test helper: runs ovrel-devsim, the device emulator, for the lifetime of
// the object. The emulator's memory lives in a private temporary folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ovrel::test {

class DevSim {
 public:
  // Starts the emulator with the given arguments. Unless they name one with
  // --memory, a memory file in a temporary folder is used; initialMemory,
  // when given, is written to it first. Throws std::runtime_error when the
  // emulator does not start or does not print its port.
  explicit DevSim(const std::vector<std::string>& args = {},
                  const std::vector<std::uint8_t>& initialMemory = {});
  ~DevSim();
  DevSim(const DevSim&) = delete;
  DevSim& operator=(const DevSim&) = delete;

  // The port to open: the emulator's pseudo-terminal.
  const std::string& path() const { return path_; }
  // The memory file's contents as saved after the last upload (or the
  // initial memory; empty when neither exists yet).
  std::vector<std::uint8_t> memory() const;
  const std::string& memoryFile() const { return memoryFile_; }
  // What the emulator wrote on standard error so far (its --log lines).
  std::string log() const;
  pid_t pid() const { return pid_; }

  // Waits up to timeoutMs for the emulator to end by itself; returns its
  // exit status, or -1 if it is still running.
  int waitExit(int timeoutMs);
  // Ends the emulator (SIGTERM, then SIGKILL after two seconds); returns its
  // exit status, or -1 when it had to be killed.
  int stop();

 private:
  std::string folder_;
  std::string memoryFile_;
  std::string logFile_;
  std::string path_;
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace ovrel::test
