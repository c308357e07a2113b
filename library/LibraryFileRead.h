#pragma once
// The one reader of a library file, for every command and window: the
// upload, restore, the backup list, the Memory window and `ovrel list`,
// `extract` and `remove` decide alike what is a sound library. A file of
// the memory's whole size (a raw download, zeros after the library) may
// carry bytes after its checksum; any other file is exactly its library.
// A library of more than 30 sessions is sound: adding sessions one at a
// time makes them, and the device holds them.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Result.h"
#include "library/LibraryEdit.h"
#include "library/LibraryImage.h"

namespace ovrel {

// A library file as read: its bytes, and its sessions when they are a sound
// library or, when they are not, the library's problems (NotLibrary).
struct LibraryFile {
  std::vector<std::uint8_t> Bytes;
  LibrarySessions Sessions;

  // The library as the device's whole memory.
  MemoryImage Image() const { return MemoryImageOf(Bytes); }
};
// The file, or why it could not be read: NotFound, NotRegular, TooLarge
// (longer than the session memory) or CannotRead with the system's reason.
using LibraryFileRead = Result<LibraryFile>;

LibraryFileRead ReadLibraryFile(const std::string& path);

// Why the file holds no sound library: the file's own failure or its
// library's problems; null for a sound library.
const Failure* WhyNotSound(const LibraryFileRead& file);

// The same decision for bytes already read: how long the library is
// expected to be, and whether they hold a sound one (empty) or what is
// wrong with them.
LibImageLength LibraryFileLength(std::size_t size);
std::string LibraryFileProblems(std::span<const std::uint8_t> bytes);

}  // namespace ovrel
