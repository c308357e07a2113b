#include "fileio/AtomicFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "fileio/FileBytes.h"
#include "fileio/FileDescriptor.h"

namespace ovrel {

namespace {

// Links followed before giving up, as the system does when opening a path.
constexpr int kMaxLinkHops = 40;

// Largest file rewritten in place: its old contents are held in memory.
constexpr std::size_t kMaxRewrittenFileBytes = 64 * 1024 * 1024;

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path a chain of symbolic links ends at, also when the last link
// names a file that does not exist yet (it is then created there).
// Returns an empty text after too many links.
std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
    const std::string to(target.data(), static_cast<size_t>(n));
    path = to.front() == '/' ? to : Folder(path) + "/" + to;
  }
  return {};
}

// Permissions a newly created file would get: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool WriteAllAt(int fd, std::string_view bytes, off_t at) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
    at += n;
  }
  return true;
}

// Rewrites the file open as fd (read and write) with bytes. Used only when
// the folder refuses a temporary file: the old contents are kept in memory
// first and written back should the new ones fail half-way, so the file
// ends either new or as it was, though not in one atomic step. Returns 0 or
// the error.
int RewriteInPlace(int fd, const std::string& path, std::string_view bytes) {
  const FileBytes read = ReadOpenFileBytes(fd, path, kMaxRewrittenFileBytes);
  if (!read) return read.Kind() == Fault::TooLarge ? EFBIG : (errno != 0 ? errno : EIO);
  const std::string& old = *read;
  if (WriteAllAt(fd, bytes, 0) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
      ::fsync(fd) == 0)
    return 0;
  const int err = errno;
  if (WriteAllAt(fd, old, 0) && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0) ::fsync(fd);
  return err;
}

struct Temporary {
  std::string Path;  // set on success
  int Error = 0;     // 0, or why the file could not be made or written
  bool Made = false;  // whether the folder took the new file
};

// Writes bytes to a new file in folder, flushed to disk and closed, with the
// owner and permissions of replaced (when given), else those of a new file.
// On failure nothing is left behind.
Temporary WriteTemporary(const std::string& folder, std::string_view bytes,
                         const struct stat* replaced) {
  // The temporary file lives in the target's folder so that the rename
  // replaces the target in one step. Its name has a fixed length, so that
  // it fits wherever the target's name does.
  const std::string tmpl = folder + "/.ovrel-XXXXXX";
  std::vector<char> tmpName(tmpl.begin(), tmpl.end());
  tmpName.push_back('\0');
  const int fd = ::mkstemp(tmpName.data());
  if (fd < 0) return {{}, errno, false};
  const std::string tmpPath(tmpName.data());

  int err = 0;
  if (replaced) {
    // Only root may give a file away; for anyone else this keeps the group
    // where the user belongs to it and otherwise changes nothing.
    if (::fchown(fd, replaced->st_uid, replaced->st_gid) != 0 && ::geteuid() == 0) err = errno;
  }
  // After fchown, which clears the set-user-ID bits.
  const mode_t mode = replaced ? (replaced->st_mode & 07777) : NewFileMode();
  if (err == 0 && (!WriteAllAt(fd, bytes, 0) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0))
    err = errno;
  // A file system may report a failed write only when the file is closed.
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    ::unlink(tmpPath.c_str());
    return {{}, err, true};
  }
  return {tmpPath, 0, true};
}

// Makes a rename or a new name in folder durable.
void SyncFolder(const std::string& folder) {
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace

namespace {

// The file a write to shownPath replaces: the end of its links, whether it
// exists (with its status) and whether it may be written; Error is set when
// it may not be replaced at all. Target, when it exists and may be opened,
// holds it open for reading and writing.
struct WriteTarget {
  std::string Path;
  bool Exists = false;
  struct stat Status {};
  int Error = 0;
  bool NotRegular = false;  // refused for what it is: a folder, pipe or device
};

WriteTarget CheckTarget(const std::string& shownPath, int* openTarget) {
  WriteTarget t;
  if (shownPath.empty() || shownPath.back() == '/') return {{}, false, {}, EISDIR, true};

  // A symbolic link is followed, so that the file it names is replaced and
  // the link stays.
  t.Path = FollowLinks(shownPath);
  if (t.Path.empty()) return {{}, false, {}, ELOOP};

  // Only regular files are ever replaced: renaming over a device, a pipe or
  // a folder would destroy it rather than write to it.
  t.Exists = ::stat(t.Path.c_str(), &t.Status) == 0;
  if (t.Exists && !S_ISREG(t.Status.st_mode)) {
    t.Error = S_ISDIR(t.Status.st_mode) ? EISDIR : EPERM;
    t.NotRegular = true;
    return t;
  }

  // The rename would replace a file the user may not write, since only the
  // folder's permissions count for it: opening the file for writing (it is
  // not truncated) asks the system whether the user may write it.
  if (!t.Exists) return t;
  const int fd = ::open(t.Path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    // A file that may be written but not read is still the user's to replace.
    const int err = errno;
    if (err != EACCES || ::access(t.Path.c_str(), W_OK) != 0) t.Error = err;
  }
  if (openTarget)
    *openTarget = fd;
  else if (fd >= 0)
    ::close(fd);
  return t;
}

// "Cannot write <path>: <reason>".
Failure WriteFailure(const std::string& path, int err, Fault kind = Fault::CannotWrite) {
  return {kind, "Cannot write " + path + ": " + std::strerror(err)};
}

Failure TargetFailure(const std::string& path, const WriteTarget& t) {
  return WriteFailure(path, t.Error, t.NotRegular ? Fault::NotRegular : Fault::CannotWrite);
}

}  // namespace

FileWriteResult WriteFileAtomically(const std::string& shownPath, std::string_view bytes) {
  auto fail = [&shownPath](int err) { return WriteFailure(shownPath, err); };
  int targetFd = -1;
  const WriteTarget t = CheckTarget(shownPath, &targetFd);
  FileDescriptor target(targetFd);
  if (t.Error != 0) return TargetFailure(shownPath, t);
  const std::string& path = t.Path;

  const std::string folder = Folder(path);
  const Temporary tmp = WriteTemporary(folder, bytes, t.Exists ? &t.Status : nullptr);
  if (tmp.Error != 0) {
    if ((tmp.Error == EACCES || tmp.Error == EPERM) && !tmp.Made && target.get() >= 0) {
      const int inPlace = RewriteInPlace(target.get(), path, bytes);
      return inPlace == 0 ? FileWriteResult{} : fail(inPlace);
    }
    return fail(tmp.Error);
  }
  if (::rename(tmp.Path.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.Path.c_str());
    return fail(err);
  }
  SyncFolder(folder);
  return {};
}

AtomicFileStream::AtomicFileStream(std::string path) : shownPath_(std::move(path)) {
  const WriteTarget t = CheckTarget(shownPath_, nullptr);
  if (t.Error != 0) {
    opened_ = TargetFailure(shownPath_, t);
    return;
  }
  path_ = t.Path;
  replaces_ = t.Exists;
  replaced_ = t.Status;
  const std::string tmpl = Folder(path_) + "/.ovrel-XXXXXX";
  std::vector<char> tmpName(tmpl.begin(), tmpl.end());
  tmpName.push_back('\0');
  fd_ = ::mkstemp(tmpName.data());
  if (fd_ < 0) {
    opened_ = Discard(errno);
    return;
  }
  tmpPath_ = tmpName.data();
  // Only root may give a file away; for anyone else this keeps the group
  // where the user belongs to it and otherwise changes nothing.
  if (replaces_ && ::fchown(fd_, replaced_.st_uid, replaced_.st_gid) != 0 && ::geteuid() == 0) {
    opened_ = Discard(errno);
    return;
  }
  opened_ = {};
}

AtomicFileStream::~AtomicFileStream() {
  // Removing the temporary file cannot fail in a way worth reporting.
  if (fd_ >= 0) static_cast<void>(Discard(0));
}

FileWriteResult AtomicFileStream::Discard(int err) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(tmpPath_.c_str());
  }
  if (err == 0) return {};
  return WriteFailure(shownPath_, err);
}

FileWriteResult AtomicFileStream::Commit() {
  if (fd_ < 0) return opened_ ? Discard(EBADF) : opened_;
  // After fchown, which clears the set-user-ID bits.
  const mode_t mode = replaces_ ? (replaced_.st_mode & 07777) : NewFileMode();
  if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0) return Discard(errno);
  // A file system may report a failed write only when the file is closed.
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmpPath_.c_str());
    return Discard(err);
  }
  if (::rename(tmpPath_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmpPath_.c_str());
    return Discard(err);
  }
  SyncFolder(Folder(path_));
  return {};
}

FileWriteResult WriteFileAtomicallyNoFollow(const std::string& path, std::string_view bytes) {
  auto refuse = [&path](const std::string& why) {
    return Failure{Fault::NotRegular, "Cannot write " + path + ": " + why};
  };
  auto fail = [&path](int err) { return WriteFailure(path, err); };
  if (path.empty() || path.back() == '/') return WriteFailure(path, EISDIR, Fault::NotRegular);
  struct stat st {};
  const bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) return refuse("it is a symbolic link");
  if (exists && !S_ISREG(st.st_mode)) return refuse("it is not a regular file");
  const std::string folder = Folder(path);
  const Temporary tmp = WriteTemporary(folder, bytes, exists ? &st : nullptr);
  if (tmp.Error != 0) return fail(tmp.Error);
  if (::rename(tmp.Path.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.Path.c_str());
    return fail(err);
  }
  SyncFolder(folder);
  return {};
}

FileWriteResult WriteNewFileAtomically(const std::string& path, std::string_view bytes) {
  auto fail = [&path](int err) { return WriteFailure(path, err); };
  if (path.empty() || path.back() == '/') return WriteFailure(path, EISDIR, Fault::NotRegular);
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return fail(EEXIST);
  const std::string folder = Folder(path);
  const Temporary tmp = WriteTemporary(folder, bytes, nullptr);
  if (tmp.Error != 0) return fail(tmp.Error);
  // Put in place only where nothing is: whatever appeared at the name since
  // the check above (another writer's file, a link) stays as it is.
  if (::renameat2(AT_FDCWD, tmp.Path.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
    int err = errno;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
      // A file system without the exclusive rename: a hard link fails the
      // same way when the name is taken.
      err = ::link(tmp.Path.c_str(), path.c_str()) == 0 ? 0 : errno;
    }
    ::unlink(tmp.Path.c_str());
    if (err != 0) return fail(err);
  }
  SyncFolder(folder);
  return {};
}

}  // namespace ovrel
