#pragma once
// Writing a whole file so that it is either completely replaced or left as
// it was: the bytes go to a temporary file in the same folder, which is
// flushed to disk and then renamed over the target.

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "base/Result.h"

namespace ovrel {

// Success, or why nothing was written: "Cannot write <path>: <system error
// text>", a CannotWrite fault, or NotRegular when the target is refused for
// what it is (a folder, a link where none may be followed).
using FileWriteResult = Result<void>;

// A save respects the file it replaces: a file the user may not write is
// refused and left alone; a symbolic link is followed and the file it names
// replaced; the replaced file's permission bits (and, for root, its owner
// and group) are kept; anything that is not a regular file (a folder, a
// device) is refused. When the folder cannot take a new file but the target
// itself is writable, the target is rewritten in place instead. On failure
// nothing is left behind in the folder and an existing file keeps its bytes.
FileWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes);

// Writes a file of the program's own (a working file) that a link must
// never redirect: a regular file at path is replaced (its permission bits
// kept), a new one is made; a symbolic link, also one to a regular file,
// and anything else that is not a regular file is refused ("Cannot write
// <path>: it is a symbolic link" / "...: it is not a regular file") and left
// alone. The rename that puts the file in place replaces the name itself,
// so a link planted meanwhile is replaced, never written through.
FileWriteResult WriteFileAtomicallyNoFollow(const std::string& path, std::string_view bytes);

// Writes a file that must be new: it is made complete under a temporary
// name and put at path only when nothing is there. Whatever has the name
// (a file, a folder, a symbolic link, also one that appears during the
// write) is left alone and the write fails with "File exists"; a link is
// never followed.
FileWriteResult WriteNewFileAtomically(const std::string& path, std::string_view bytes);

// The same write for a file made piece by piece (a sound rendered block by
// block): the pieces go to Descriptor(), a temporary file beside the target,
// and Commit() flushes it and puts it in the target's place. The target is
// checked as WriteFileAtomically checks it, before anything is made; a
// folder that takes no new file fails the stream (it is never rewritten in
// place). A stream that is not committed (a failed write, an interruption)
// is discarded with everything it wrote.
class AtomicFileStream {
 public:
  explicit AtomicFileStream(std::string path);
  ~AtomicFileStream();
  AtomicFileStream(const AtomicFileStream&) = delete;
  AtomicFileStream& operator=(const AtomicFileStream&) = delete;

  // Whether the temporary file is open; if not, Error() says why.
  bool IsOpen() const { return fd_ >= 0; }
  const FileWriteResult& Error() const { return opened_; }
  int Descriptor() const { return fd_; }

  // Flushes the file to disk and renames it over the target. Fails (and
  // discards) with the system's reason.
  FileWriteResult Commit();
  // Removes the temporary file and returns the failure err describes, as
  // "Cannot write <path>: <reason>".
  FileWriteResult Discard(int err);

 private:
  std::string shownPath_, path_, tmpPath_;
  FileWriteResult opened_;
  int fd_ = -1;
  bool replaces_ = false;
  struct stat replaced_ {};
};

}  // namespace ovrel
