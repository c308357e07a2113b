// Helpers of the serial and emulator tests: a pseudo-terminal made by the
// test itself, and a raw terminal end for sending and receiving bytes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ovrel::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Frame(char letter, const Bytes& payload = {}) {
  Bytes frame = {0x41, 0x54, static_cast<std::uint8_t>(letter),
                 static_cast<std::uint8_t>(payload.size())};
  std::uint8_t sum = frame[2] ^ frame[3];
  for (std::uint8_t byte : payload) {
    frame.push_back(byte);
    sum ^= byte;
  }
  frame.push_back(sum);
  return frame;
}

inline void MakeRaw(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
  }
}

// One end of a terminal, non-blocking and raw.
class RawEnd {
 public:
  RawEnd() = default;
  explicit RawEnd(int fd) : fd_(fd) {}
  explicit RawEnd(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ >= 0) MakeRaw(fd_);
  }
  ~RawEnd() { Close(); }
  RawEnd(const RawEnd&) = delete;
  RawEnd& operator=(const RawEnd&) = delete;

  int Fd() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool Send(const Bytes& bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Collects up to count bytes, waiting at most timeoutMs in all.
  Bytes Receive(size_t count, int timeoutMs) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd readable{fd_, POLLIN, 0};
      if (::poll(&readable, 1, static_cast<int>(left)) <= 0) continue;
      if (readable.revents & POLLHUP && !(readable.revents & POLLIN)) break;
      std::uint8_t buffer[512];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

 private:
  int fd_ = -1;
};

// A pseudo-terminal: Path() is the port side, Master() the device side.
class PtyPair {
 public:
  PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (!master_.Valid() || ::grantpt(master_.Fd()) < 0 || ::unlockpt(master_.Fd()) < 0) return;
    path_ = ::ptsname(master_.Fd());
    RemoveLocksOfGoneTerminal();
    ::fcntl(master_.Fd(), F_SETFL, O_NONBLOCK);
    MakeRaw(master_.Fd());
  }
  const std::string& Path() const { return path_; }
  RawEnd& Master() { return master_; }

 private:
  // A lock file of an earlier terminal of this number (whose holder may
  // still run, in another test) locks nothing now; left in place it would
  // keep this test's own link out.
  void RemoveLocksOfGoneTerminal() const {
    const std::string number = path_.substr(path_.rfind('/') + 1);
    std::vector<std::string> folders = {"/run/lock", "/var/lock"};
    if (const char* runtime = ::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
      folders.push_back(runtime);
    for (const std::string& folder : folders) ::unlink((folder + "/LCK..pts_" + number).c_str());
  }

  RawEnd master_;
  std::string path_;
};

}  // namespace ovrel::test
