#pragma once
// Sizes of the device's session memory and the entry record of the library
// list.

#include <cstdint>
#include <string>

namespace ovrel {

// Bytes in the device's session memory: the largest library image,
// checksum byte included.
inline constexpr int SesMemSize = 2048;
// Most sessions in one library.
inline constexpr int MaxLibSessions = 30;
// Format version of the image (byte 0); the same number as the
// "version=23" line of session files.
inline constexpr std::uint8_t LibFormatVersion = 23;
// Most segment lines one session file may hold.
inline constexpr int MaxSesFileSegs = 380;

// One entry of the library list.
struct TSesInLibParamsRec {
  std::string FilePath;        // full path of the session file
  std::int32_t Minutes = 0;    // whole minutes of the session, computed from its segments
  std::int32_t Seconds = 0;    // the remaining seconds
  std::int32_t NumOfSegs = 0;  // number of segment lines in the file

  bool operator==(const TSesInLibParamsRec&) const = default;
};

// Image bytes before the checksum (the checksum offset L) of a library of
// `sessions` sessions holding `segments` segments in all.
constexpr std::int64_t LibChecksumOffset(std::int64_t sessions, std::int64_t segments) {
  return 4 + 5 * sessions + 5 * segments;
}

}  // namespace ovrel
