#include "support/DevSim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace ovrel::test {

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Reads the emulator's first output line, waiting at most timeoutMs.
std::string ReadFirstLine(int fd, int timeoutMs) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[256];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  const size_t end = line.find('\n');
  return end == std::string::npos ? std::string() : line.substr(0, end);
}

}  // namespace

DevSim::DevSim(const std::vector<std::string>& args,
               const std::vector<std::uint8_t>& initialMemory) {
  std::string folder = (std::filesystem::temp_directory_path() / "ovrel-devsim-XXXXXX").string();
  if (!::mkdtemp(folder.data())) throw std::runtime_error("DevSim: cannot make a temporary folder");
  FFolder = folder;
  FLogFile = FFolder + "/stderr.txt";

  std::vector<std::string> argv = {OVREL_DEVSIM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto memoryArg = std::find(args.begin(), args.end(), "--memory");
  if (memoryArg != args.end() && std::next(memoryArg) != args.end()) {
    FMemoryFile = *std::next(memoryArg);
  } else {
    FMemoryFile = FFolder + "/memory.bin";
    argv.insert(argv.end(), {"--memory", FMemoryFile});
  }
  if (!initialMemory.empty()) {
    std::ofstream out(FMemoryFile, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(initialMemory.data()),
              static_cast<std::streamsize>(initialMemory.size()));
  }

  int output[2];
  if (::pipe2(output, O_CLOEXEC) < 0) throw std::runtime_error("DevSim: pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, FLogFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> rawArgv;
  for (std::string& arg : argv) rawArgv.push_back(arg.data());
  rawArgv.push_back(nullptr);
  const int spawned = ::posix_spawn(&FPid, rawArgv[0], &actions, nullptr, rawArgv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  if (spawned != 0) {
    ::close(output[0]);
    FPid = -1;
    std::filesystem::remove_all(FFolder);
    throw std::runtime_error("DevSim: cannot start " + argv[0]);
  }
  FPath = ReadFirstLine(output[0], 5000);
  ::close(output[0]);
  if (FPath.empty()) {
    const std::string log = this->log();
    stop();
    std::filesystem::remove_all(FFolder);
    throw std::runtime_error("DevSim: the emulator printed no port: " + log);
  }
}

DevSim::~DevSim() {
  stop();
  std::error_code ignored;
  std::filesystem::remove_all(FFolder, ignored);
}

std::vector<std::uint8_t> DevSim::memory() const {
  const std::string bytes = ReadWhole(FMemoryFile);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::string DevSim::log() const {
  return ReadWhole(FLogFile);
}

int DevSim::waitExit(int timeoutMs) {
  if (FPid <= 0) return FStatus;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return FStatus;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int DevSim::stop() {
  if (FPid <= 0) return FStatus;
  ::kill(FPid, SIGTERM);
  if (waitExit(2000) == -1 && FPid > 0) {
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
    FPid = -1;
    FStatus = -1;
  }
  return FStatus;
}

}  // namespace ovrel::test
