#pragma once
// Reading and checking a library image: a library file, or the device's
// session memory read back. Works on bytes only.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ovrel {

struct LibImageSession {
  int offset = 0;   // offset of the session record (from the offset table)
  int minutes = 0;  // the record's two length bytes
  int seconds = 0;
  int segments = 0;  // segments before the session's end byte
};

struct LibImageInfo {
  int version = -1;                       // byte 0; -1 when the image is too short
  int sessionCount = 0;                   // byte 1
  int checksumOffset = 0;                 // L, bytes 2-3
  std::vector<LibImageSession> sessions;  // as far as they could be read
  int storedChecksum = -1;                // byte L, -1 when L lies outside the image
  int computedChecksum = -1;              // XOR of bytes 0 .. L-1
  std::int64_t freeBytes = 0;             // 2048 - (L + 1)
  // What is wrong with the structure; empty for a sound image. A checksum
  // mismatch is listed here too.
  std::vector<std::string> problems;

  bool checksumMatches() const { return storedChecksum >= 0 && storedChecksum == computedChecksum; }
  bool valid() const { return problems.empty(); }
};

enum class LibImageLength {
  Exact,   // a library file: exactly L + 1 bytes
  Memory,  // the session memory: L + 1 bytes or more, up to 2048
};

// Parses `bytes` as a library image and checks its structure: version 23,
// at most 30 sessions, L within the image and the memory, offsets that
// follow one another as the layout requires (O(0) = 4 + 2N,
// O(k+1) = O(k) + 3 + 5 S(k), L = O(N-1) + 3 + 5 S(N-1)), sessions whose
// segments end in a 0 byte, and the stored checksum.
LibImageInfo ReadLibraryImage(std::span<const std::uint8_t> bytes,
                              LibImageLength length = LibImageLength::Exact);

}  // namespace ovrel
