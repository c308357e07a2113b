// Owns one file descriptor and closes it when it goes out of scope, so that
// no error path leaks one.
#pragma once

#include <unistd.h>

#include <utility>

namespace ovrel {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : FFd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      FFd = std::exchange(other.FFd, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  int Release() { return std::exchange(FFd, -1); }
  void Reset(int fd = -1) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }

 private:
  int FFd = -1;
};

}  // namespace ovrel
