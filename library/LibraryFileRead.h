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

#include "library/LibraryImage.h"

namespace ovrel {

enum class LibraryFileFault {
  None,
  Missing,     // no file at the path
  NotRegular,  // a folder, a pipe, a device
  TooBig,      // longer than the session memory
  Unreadable,  // the system's reason is in Error
  NotSound,    // no sound library: the problems are in Error
};

struct LibraryFileRead {
  std::vector<std::uint8_t> Bytes;      // as read (when it could be read)
  std::vector<SessionRecord> Sessions;  // of a sound library
  int SessionCount = 0;
  LibraryFileFault Fault = LibraryFileFault::None;
  std::string Error;  // the system's reason, or the library's problems

  bool Sound() const { return Fault == LibraryFileFault::None; }
  // The library as the device's whole memory.
  MemoryImage Image() const { return MemoryImageOf(Bytes); }
};

LibraryFileRead ReadLibraryFile(const std::string& path);

// The same decision for bytes already read: how long the library is
// expected to be, and whether they hold a sound one (empty) or what is
// wrong with them.
LibImageLength LibraryFileLength(std::size_t size);
std::string LibraryFileProblems(std::span<const std::uint8_t> bytes);

}  // namespace ovrel
