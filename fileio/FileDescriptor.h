// Owns one file descriptor and closes it on every way out of a function, so
// that no error path of the file readers and writers leaks one.
#pragma once

#include <unistd.h>

namespace ovrel {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace ovrel
