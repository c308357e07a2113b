#pragma once
// Compiling the library list into the byte image of the device's session
// memory, and writing that image as a library file.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "library/LibraryTypes.h"

namespace ovrel {

// A library that cannot be compiled or written. The message names the file
// and, where there is one, the line.
class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Builds the image of `entries` (library order): version, session count,
// checksum offset L, the big-endian offset table from the entries'
// NumOfSegs, the sessions read from their files now, and the XOR checksum.
// Returns the L + 1 image bytes. Throws LibraryError when a file cannot be
// read, breaks the line rules, or no longer has the number of segment lines
// recorded in its entry (the offsets would not match), and when the entries
// would not fit the session memory; nothing is built then.
std::vector<std::uint8_t> CompileSesLib(std::span<const TSesInLibParamsRec> entries);

// XOR of `bytes`, starting from 0.
std::uint8_t LibChecksum(std::span<const std::uint8_t> bytes);

// Writes `image` to `path` whole: into a temporary file in the same folder,
// renamed over `path` only when complete, so an earlier file survives a
// failed write. Throws LibraryError naming the file.
void WriteLibraryFile(const std::string& path, std::span<const std::uint8_t> image);

}  // namespace ovrel
