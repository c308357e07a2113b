#include "session/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ovrel {

namespace {

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Permissions a newly created file would get: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

FileWriteResult writeFileAtomically(const std::string& shownPath, std::string_view bytes) {
  auto fail = [&shownPath](int err) {
    return FileWriteResult{false, "Cannot write " + shownPath + ": " + std::strerror(err)};
  };
  if (shownPath.empty() || shownPath.back() == '/') return fail(EISDIR);

  // A symbolic link is followed, so that the file it names is replaced and
  // the link stays. Only regular files are ever replaced: renaming over a
  // device, a pipe or a folder would destroy it rather than write to it.
  std::string path = shownPath;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real) {
      path = real;
      std::free(real);
    }
  }
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return fail(S_ISDIR(st.st_mode) ? EISDIR : EPERM);

  // The temporary file lives in the target's folder so that the rename
  // replaces the target in one step.
  const std::string folder = Folder(path);
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmpl = folder + "/." + name + ".tmp-XXXXXX";
  std::vector<char> tmpName(tmpl.begin(), tmpl.end());
  tmpName.push_back('\0');

  const int fd = ::mkstemp(tmpName.data());
  if (fd < 0) return fail(errno);
  const std::string tmpPath(tmpName.data());

  // An existing file keeps its permissions; a new one gets the usual ones.
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : NewFileMode();

  int err = 0;
  if (!WriteAll(fd, bytes) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(tmpPath.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmpPath.c_str());
    return fail(err);
  }

  // Make the rename itself durable.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return {true, {}};
}

}  // namespace ovrel
