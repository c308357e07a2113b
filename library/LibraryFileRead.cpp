#include "library/LibraryFileRead.h"

#include "library/LibraryEdit.h"
#include "fileio/FileBytes.h"

namespace ovrel {

LibImageLength LibraryFileLength(std::size_t size) {
  return size == SesMemSize ? LibImageLength::Memory : LibImageLength::Exact;
}

std::string LibraryFileProblems(std::span<const std::uint8_t> bytes) {
  return ReadLibrarySessions(bytes, LibraryFileLength(bytes.size())).Error;
}

LibraryFileRead ReadLibraryFile(const std::string& path) {
  LibraryFileRead out;
  // Bounded: a library is never larger than the memory, and a pipe or a
  // device is refused before it is opened.
  const FileBytes file = ReadFileBytes(path, SesMemSize);
  if (!file) {
    out.Error = file.Error;
    switch (file.Fault) {
      case FileBytesFault::Missing:
        out.Fault = LibraryFileFault::Missing;
        break;
      case FileBytesFault::NotRegular:
        out.Fault = LibraryFileFault::NotRegular;
        break;
      case FileBytesFault::TooLarge:
        out.Fault = LibraryFileFault::TooBig;
        break;
      case FileBytesFault::None:
      case FileBytesFault::Unreadable:
        out.Fault = LibraryFileFault::Unreadable;
        break;
    }
    return out;
  }
  out.Bytes.assign(file.Bytes->begin(), file.Bytes->end());
  LibrarySessions read = ReadLibrarySessions(out.Bytes, LibraryFileLength(out.Bytes.size()));
  if (!read) {
    out.Fault = LibraryFileFault::NotSound;
    out.Error = read.Error;
    return out;
  }
  out.SessionCount = static_cast<int>(read.Sessions.size());
  out.Sessions = std::move(read.Sessions);
  return out;
}

}  // namespace ovrel
