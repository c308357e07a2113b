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
  explicit RawEnd(int fd) : FFd(fd) {}
  explicit RawEnd(const std::string& path)
      : FFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (FFd >= 0) MakeRaw(FFd);
  }
  ~RawEnd() { Close(); }
  RawEnd(const RawEnd&) = delete;
  RawEnd& operator=(const RawEnd&) = delete;

  int Fd() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  void Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }
  bool Send(const Bytes& bytes) {
    return ::write(FFd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
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
      pollfd readable{FFd, POLLIN, 0};
      if (::poll(&readable, 1, static_cast<int>(left)) <= 0) continue;
      if (readable.revents & POLLHUP && !(readable.revents & POLLIN)) break;
      std::uint8_t buffer[512];
      const ssize_t n = ::read(FFd, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

 private:
  int FFd = -1;
};

// A pseudo-terminal: Path() is the port side, Master() the device side.
class PtyPair {
 public:
  PtyPair() : FMaster(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (!FMaster.Valid() || ::grantpt(FMaster.Fd()) < 0 || ::unlockpt(FMaster.Fd()) < 0) return;
    FPath = ::ptsname(FMaster.Fd());
    ::fcntl(FMaster.Fd(), F_SETFL, O_NONBLOCK);
    MakeRaw(FMaster.Fd());
  }
  const std::string& Path() const { return FPath; }
  RawEnd& Master() { return FMaster; }

 private:
  RawEnd FMaster;
  std::string FPath;
};

}  // namespace ovrel::test
