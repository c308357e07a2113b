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
  folder_ = folder;
  logFile_ = folder_ + "/stderr.txt";

  // The emulator ends with this process, even when a test crashes.
  std::vector<std::string> argv = {OVREL_DEVSIM_PATH, "--exit-with-parent",
                                   std::to_string(::getpid())};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto memoryArg = std::find(args.begin(), args.end(), "--memory");
  if (memoryArg != args.end() && std::next(memoryArg) != args.end()) {
    memoryFile_ = *std::next(memoryArg);
  } else {
    memoryFile_ = folder_ + "/memory.bin";
    argv.insert(argv.end(), {"--memory", memoryFile_});
  }
  if (!initialMemory.empty()) {
    std::ofstream out(memoryFile_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(initialMemory.data()),
              static_cast<std::streamsize>(initialMemory.size()));
  }

  int output[2];
  if (::pipe2(output, O_CLOEXEC) < 0) throw std::runtime_error("DevSim: pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> rawArgv;
  for (std::string& arg : argv) rawArgv.push_back(arg.data());
  rawArgv.push_back(nullptr);
  const int spawned = ::posix_spawn(&pid_, rawArgv[0], &actions, nullptr, rawArgv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  if (spawned != 0) {
    ::close(output[0]);
    pid_ = -1;
    std::filesystem::remove_all(folder_);
    throw std::runtime_error("DevSim: cannot start " + argv[0]);
  }
  path_ = ReadFirstLine(output[0], 5000);
  ::close(output[0]);
  if (path_.empty()) {
    const std::string log = this->log();
    stop();
    std::filesystem::remove_all(folder_);
    throw std::runtime_error("DevSim: the emulator printed no port: " + log);
  }
}

DevSim::~DevSim() {
  stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::uint8_t> DevSim::memory() const {
  const std::string bytes = ReadWhole(memoryFile_);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::string DevSim::log() const {
  return ReadWhole(logFile_);
}

int DevSim::waitExit(int timeoutMs) {
  if (pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int DevSim::stop() {
  if (pid_ <= 0) return status_;
  ::kill(pid_, SIGTERM);
  if (waitExit(2000) == -1 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    status_ = -1;
  }
  return status_;
}

}  // namespace ovrel::test
