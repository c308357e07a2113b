#include "library/LibraryFileRead.h"

#include "fileio/FileBytes.h"
#include "library/LibraryEdit.h"

namespace ovrel {

LibImageLength LibraryFileLength(std::size_t size) {
  return size == SesMemSize ? LibImageLength::Memory : LibImageLength::Exact;
}

std::string LibraryFileProblems(std::span<const std::uint8_t> bytes) {
  return ReadLibrarySessions(bytes, LibraryFileLength(bytes.size())).Error();
}

LibraryFileRead ReadLibraryFile(const std::string& path) {
  // Bounded: a library is never larger than the memory, and a pipe or a
  // device is refused before it is opened.
  const FileBytes file = ReadFileBytes(path, SesMemSize);
  if (!file) return file.Failed();
  std::vector<std::uint8_t> bytes(file->begin(), file->end());
  LibrarySessions sessions = ReadLibrarySessions(bytes, LibraryFileLength(bytes.size()));
  return LibraryFile{std::move(bytes), std::move(sessions)};
}

const Failure* WhyNotSound(const LibraryFileRead& file) {
  if (!file) return &file.Failed();
  if (!file->Sessions) return &file->Sessions.Failed();
  return nullptr;
}

}  // namespace ovrel
