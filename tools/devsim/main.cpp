// ovrel-devsim: the stimulation device emulated on a pseudo-terminal, for
// tests, demonstrations and anyone without the hardware.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "DevSimDevice.h"
#include "DevSimOptions.h"

namespace {

using Clock = std::chrono::steady_clock;
using devsim::Bytes;

// Pause between the pieces of a reply sent with --chunk.
constexpr int ChunkDelayMs = 2;
// With --hangup-after-reply: time left to the other end to read the last
// reply before the line goes down.
constexpr auto HangupAfterReplyDelay = std::chrono::milliseconds(60);

struct Pending {
  Clock::time_point Due;
  Bytes Data;
};

void Fail(const std::string& what) {
  std::fprintf(stderr, "ovrel-devsim: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

bool LoadMemory(const std::string& path, devsim::Device& device) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return !std::filesystem::exists(path);  // a missing file is an empty memory
  in.read(reinterpret_cast<char*>(device.Memory().data()), devsim::MemorySize);
  return !in.bad();
}

// Written beside the file and renamed over it, so a reader never sees half
// a memory.
bool SaveMemory(const std::string& path, devsim::Device& device) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(device.Memory().data()), devsim::MemorySize);
    out.flush();
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void SetRaw(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) < 0) Fail("tcgetattr");
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  ::cfsetispeed(&tio, B38400);
  ::cfsetospeed(&tio, B38400);
  if (::tcsetattr(fd, TCSANOW, &tio) < 0) Fail("tcsetattr");
}

void Schedule(std::deque<Pending>& output, const devsim::Reply& reply, int chunkSize) {
  Clock::time_point due = Clock::now() + std::chrono::milliseconds(reply.DelayMs);
  if (!output.empty()) due = std::max(due, output.back().Due);
  const size_t piece = chunkSize > 0 ? static_cast<size_t>(chunkSize) : reply.Frame.size();
  for (size_t at = 0; at < reply.Frame.size(); at += piece) {
    const size_t end = std::min(reply.Frame.size(), at + piece);
    output.push_back({due, Bytes(reply.Frame.begin() + static_cast<long>(at),
                                 reply.Frame.begin() + static_cast<long>(end))});
    due += std::chrono::milliseconds(ChunkDelayMs);
  }
}

// A terminal of this number that existed before has gone: a lock file left
// for it (by a program that still runs, having lost its port) locks
// nothing, and would keep every client of this new terminal out. Serial
// programs name the lock "LCK..pts_N" in the system's lock folder, or in
// the user's runtime folder where the system's may not be written.
void RemoveLocksOfGoneTerminal(const std::string& portPath) {
  const std::string prefix = "/dev/pts/";
  if (portPath.rfind(prefix, 0) != 0) return;
  const std::string name = "LCK..pts_" + portPath.substr(prefix.size());
  std::vector<std::string> folders = {"/run/lock", "/var/lock"};
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
    folders.push_back(runtime);
  for (const std::string& folder : folders) ::unlink((folder + "/" + name).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  devsim::Options options;
  std::string error;
  if (!devsim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "ovrel-devsim: %s\n%s", error.c_str(), devsim::UsageText);
    return 2;
  }
  if (options.Help) {
    std::fputs(devsim::UsageText, stdout);
    return 0;
  }
  devsim::Device device(options);
  if (!options.MemoryFile.empty() && !LoadMemory(options.MemoryFile, device))
    Fail("cannot read " + options.MemoryFile);

  // Signals arrive as readable data, so the main loop ends cleanly.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
  if (::sigprocmask(SIG_BLOCK, &signals, nullptr) < 0) Fail("sigprocmask");
  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
  if (signalFd < 0) Fail("signalfd");
  if (options.ExitWithParent > 0) {
    // The parent's end sends SIGTERM, which ends the main loop like any
    // other; a parent that ended before this point is seen by its id.
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) < 0) Fail("prctl");
    if (::getppid() != options.ExitWithParent) return 1;
  }

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) Fail("posix_openpt");
  if (::grantpt(master) < 0 || ::unlockpt(master) < 0) Fail("unlockpt");
  const char* slaveName = ::ptsname(master);
  if (!slaveName) Fail("ptsname");
  const std::string portPath = slaveName;
  RemoveLocksOfGoneTerminal(portPath);
  // Holding the port side open ourselves keeps the pseudo-terminal alive
  // while no program has the port open; it is never read here.
  const int slave = ::open(portPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) Fail("open " + portPath);
  SetRaw(slave);
  SetRaw(master);
  if (::fcntl(master, F_SETFL, O_NONBLOCK) < 0) Fail("fcntl");

  if (!options.LinkPath.empty()) {
    std::error_code ec;
    if (std::filesystem::is_symlink(options.LinkPath, ec))
      std::filesystem::remove(options.LinkPath);
    std::filesystem::create_symlink(portPath, options.LinkPath, ec);
    if (ec) {
      errno = ec.value();
      Fail("cannot link " + options.LinkPath);
    }
  }
  std::printf("%s\n", portPath.c_str());
  std::fflush(stdout);

  std::deque<Pending> output;
  std::optional<Clock::time_point> hangupAt;
  bool running = true;
  while (running) {
    if (hangupAt && Clock::now() >= *hangupAt) break;
    int timeoutMs = -1;
    const auto waitFor = [&](Clock::time_point when) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now());
      const int ms = static_cast<int>(std::max<long long>(wait.count(), 0));
      timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
    };
    if (!output.empty()) waitFor(output.front().Due);
    if (hangupAt) waitFor(*hangupAt);
    const bool due = !output.empty() && output.front().Due <= Clock::now();
    pollfd fds[2] = {{master, static_cast<short>(POLLIN | (due ? POLLOUT : 0)), 0},
                     {signalFd, POLLIN, 0}};
    if (::poll(fds, 2, due ? -1 : timeoutMs) < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }
    if (fds[1].revents & POLLIN) break;
    if (fds[0].revents & POLLIN) {
      std::uint8_t buffer[512];
      const ssize_t got = ::read(master, buffer, sizeof buffer);
      if (got < 0 && errno != EAGAIN && errno != EINTR) Fail("read");
      if (got > 0) {
        for (const devsim::Reply& reply : device.Feed(buffer, static_cast<size_t>(got)))
          Schedule(output, reply, options.ChunkSize);
        // Strict-mode findings are printed with or without --log.
        for (const std::string& line : device.TakeLog())
          if (options.Log || line.rfind("strict:", 0) == 0)
            std::fprintf(stderr, "ovrel-devsim: %s\n", line.c_str());
        const bool completed = device.TakeUploadCompleted();
        const bool stored = device.TakeBlockStored() && options.SaveEachBlock;
        if (!options.MemoryFile.empty() && (completed || stored) &&
            !SaveMemory(options.MemoryFile, device))
          Fail("cannot save " + options.MemoryFile);
        if (device.HangupRequested()) running = false;
      }
    }
    while (running && !output.empty() && output.front().Due <= Clock::now()) {
      Bytes& data = output.front().Data;
      const ssize_t sent = ::write(master, data.data(), data.size());
      if (sent < 0) {
        if (errno == EAGAIN || errno == EINTR) break;
        Fail("write");
      }
      data.erase(data.begin(), data.begin() + sent);
      if (data.empty()) output.pop_front();
    }
    if (options.HangupAfterReply > 0 && !hangupAt && output.empty() &&
        device.CommandCount() >= options.HangupAfterReply)
      hangupAt = Clock::now() + HangupAfterReplyDelay;
  }
  // Closing both sides hangs up whoever holds the port.
  ::close(master);
  ::close(slave);
  if (!options.LinkPath.empty()) {
    std::error_code ec;
    if (std::filesystem::is_symlink(options.LinkPath, ec))
      std::filesystem::remove(options.LinkPath);
  }
  if (options.Strict && !device.WireClean()) {
    std::fprintf(stderr, "ovrel-devsim: strict: the line carried bytes outside a frame\n");
    return 3;
  }
  return 0;
}
