#include "fileio/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fileio/FileDescriptor.h"

namespace ovrel {

namespace {

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  if (S_ISFIFO(mode)) return "it is a pipe (FIFO), not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "it is not a regular file";
}

std::string SizeText(std::size_t bytes) {
  if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
  return std::to_string(bytes) + " bytes";
}

Failure Failed(const std::string& path, Fault fault, const std::string& reason) {
  return {fault, "Cannot read " + path + ": " + reason};
}

Failure FailedWith(const std::string& path, int err) {
  return Failed(path, err == ENOENT ? Fault::NotFound : Fault::CannotRead, std::strerror(err));
}

Failure TooLarge(const std::string& path, std::size_t maxBytes) {
  return Failed(path, Fault::TooLarge,
                "the file is larger than " + SizeText(maxBytes) + ", the most that is read");
}

}  // namespace

FileBytes ReadFileBytes(const std::string& path, std::size_t maxBytes) {

  // The type is checked before opening: opening a pipe could wait for a
  // writer, and opening a device could change its state.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return FailedWith(path, errno);
  if (!S_ISREG(st.st_mode)) return Failed(path, Fault::NotRegular, KindOf(st.st_mode));
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) return TooLarge(path, maxBytes);

  // O_NONBLOCK: should the path have been swapped for a pipe since the
  // check above, the open still returns at once and fstat refuses it.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return FailedWith(path, errno);
  return ReadOpenFileBytes(fd.get(), path, maxBytes);
}

// Reads from the file's current offset.
FileBytes ReadOpenFileBytes(int fd, const std::string& path, std::size_t maxBytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return FailedWith(path, errno);
  if (!S_ISREG(st.st_mode)) return Failed(path, Fault::NotRegular, KindOf(st.st_mode));
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) return TooLarge(path, maxBytes);

  // Files under /proc report a size of 0 whatever they hold, so the limit
  // is also applied to what is actually read.
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailedWith(path, errno);
    }
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > maxBytes - bytes.size()) return TooLarge(path, maxBytes);
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::string Excerpt(std::string_view text, std::size_t maxChars) {
  // Control characters (a NUL among them, which would cut the message
  // short) are shown as \xNN.
  std::string out;
  for (const char c : text.substr(0, maxChars)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  if (text.size() > maxChars) out += "...";
  return out;
}

}  // namespace ovrel
