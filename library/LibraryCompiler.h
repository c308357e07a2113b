#pragma once
// Compiling the library list into the byte image of the device's session
// memory, and writing that image as a library file.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "library/LibraryEntry.h"

namespace ovrel {

struct LibraryBuild {
  std::vector<std::uint8_t> Image;  // the L + 1 image bytes
  // What the device will show otherwise than the files say, one sentence a
  // file (a session longer than 255 minutes); the library is built all the same.
  std::vector<std::string> Warnings;
};
// The compiled image, or why there is none. The message names the file and,
// where there is one, the line.
using CompiledLibrary = Result<LibraryBuild>;

// Builds the image of `entries` (library order) from their sessions, read
// from their files now: version, session count, checksum offset L, the
// big-endian offset table, the session records and the XOR checksum. Fails,
// building nothing, when a file cannot be read, breaks the line rules, or
// no longer has the number of segment lines recorded in its entry (the
// budget was counted with it), and when the entries would not fit the
// session memory.
CompiledLibrary CompileSesLib(std::span<const LibraryEntry> entries);

// Writes `image` to `path` whole: into a temporary file in the same folder,
// renamed over `path` only when complete, so an earlier file survives a
// failed write. Returns the error naming the file, or nothing when written.
std::optional<std::string> WriteLibraryFile(const std::string& path,
                                            std::span<const std::uint8_t> image);

}  // namespace ovrel
