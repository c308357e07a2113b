#pragma once
// Adding one session file to a library image read back from the device:
// the session file is read by the session reader, as the library compiler
// reads it, the image is
// checked, and the session is appended as one more library entry.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/protocol/Frame.h"

namespace ovrel {

// Last offset the end-of-session byte may take; the checksum follows it.
inline constexpr int kMaxSessionEnd = 2040;
inline constexpr int kLibraryVersion = 23;

// The bytes of one session record: the two length bytes and five bytes a segment.
struct MergeSession {
  std::uint8_t Minutes = 0;
  std::uint8_t Seconds = 0;
  std::vector<std::array<std::uint8_t, 5>> Segments;
};

// Either the session or a sentence saying what is wrong and on which line.
struct MergeSessionRead {
  std::optional<MergeSession> Session;
  std::string Error;
};

// Reads a session file's text with the session reader (ReadSessionLines)
// and keeps the low 8 bits of each number. sourceName names the file in
// messages. A session without segment lines is accepted.
MergeSessionRead ReadSessionForMerge(std::string_view text, const std::string& sourceName);

// Why the image is not a library that a session can be added to, or
// nothing when it is one: version byte 23, checksum offset L within
// 4 + 2N .. 2041, every table entry inside the session data, and the byte
// at L the exclusive-or of bytes 0 .. L - 1.
std::optional<std::string> CheckLibraryImage(std::span<const std::uint8_t, kSesMemSize> image);

struct MergeOutcome {
  bool Fits = false;       // false: the image is left unchanged
  int L = 0;               // new checksum offset
  std::uint8_t LibCS = 0;  // new checksum, also stored at L
};

// Appends session to a library image that passed CheckLibraryImage: one
// more table entry (the records move up by 2 bytes), the new record at the
// old L + 2, then the new L and checksum. Does not fit when a segment line
// would bring the session's end byte beyond offset 2040, when the checksum
// would lie outside the image, or when the count would pass 255.
MergeOutcome MergeSessionIntoImage(std::span<std::uint8_t, kSesMemSize> image,
                                   const MergeSession& session);

}  // namespace ovrel
