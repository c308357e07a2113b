#pragma once
// The library image: the byte image of the device's session memory, as a
// library file holds it (exactly its used bytes) and as the device holds it
// (2048 bytes, zeros after the checksum). Everything that reads, checks,
// measures, builds or edits an image goes through here: the compiler, the
// upload, the add, the backups and `ovrel`.
//
// Layout: version 23, session count N, checksum offset L (big-endian), N
// big-endian offsets of the session records, the records one after another
// (two length bytes, five bytes a segment, a 0 end byte), and at L the XOR
// of bytes 0 .. L-1. Works on bytes only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ovrel {

// Bytes in the device's session memory: the largest image, checksum included.
inline constexpr int SesMemSize = 2048;
// Most sessions the compiler puts into one library.
inline constexpr int MaxLibSessions = 30;
// Format version of the image (byte 0); the same number as the
// "version=23" line of session files.
inline constexpr std::uint8_t LibFormatVersion = 23;
// Most segment lines one session file may hold.
inline constexpr int MaxSesFileSegs = 380;
// Last offset the end byte of an added session may take; the checksum
// follows it.
inline constexpr int MaxSessionEnd = 2040;

// The device's whole session memory.
using MemoryImage = std::array<std::uint8_t, SesMemSize>;

// Image bytes before the checksum (the checksum offset L) of a library of
// `sessions` sessions holding `segments` segments in all.
constexpr std::int64_t LibChecksumOffset(std::int64_t sessions, std::int64_t segments) {
  return 4 + 5 * sessions + 5 * segments;
}

// Free bytes F = 2048 - (L + 1) of such a library: the 4 header bytes and the
// checksum, per session its offset-table entry, its two length bytes and its
// end byte, and 5 bytes per segment. F >= 0 exactly when the image fits.
std::int64_t SesMemFreeBytes(std::int64_t sessions, std::int64_t segments);

// XOR of `bytes`, starting from 0.
std::uint8_t LibChecksum(std::span<const std::uint8_t> bytes);

// ---- Session records ----------------------------------------------------

// One session as the image stores it: the two length bytes and five bytes a
// segment (the end byte is implied).
struct SessionRecord {
  std::uint8_t Minutes = 0;
  std::uint8_t Seconds = 0;
  std::vector<std::array<std::uint8_t, 5>> Segments;

  bool operator==(const SessionRecord&) const = default;
};

// ---- Reading and checking -------------------------------------------------

struct LibImageSession {
  int Offset = 0;   // offset of the session record (from the offset table)
  int Minutes = 0;  // the record's two length bytes
  int Seconds = 0;
  int Segments = 0;  // segments before the session's end byte
};

struct LibImageInfo {
  int Version = -1;                       // byte 0; -1 when the image is too short
  int SessionCount = 0;                   // byte 1
  int ChecksumOffset = 0;                 // L, bytes 2-3
  std::vector<LibImageSession> Sessions;  // as far as they could be read
  int StoredChecksum = -1;                // byte L, -1 when L lies outside the image
  int ComputedChecksum = -1;              // XOR of bytes 0 .. L-1
  std::int64_t FreeBytes = 0;             // 2048 - (L + 1)
  // What is wrong with the structure; empty for a sound image. A checksum
  // mismatch is listed here too.
  std::vector<std::string> Problems;

  bool ChecksumMatches() const { return StoredChecksum >= 0 && StoredChecksum == ComputedChecksum; }
  bool Valid() const { return Problems.empty(); }
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

// The records of the sessions that ReadLibraryImage found in `bytes`
// (`info` from that call), in library order.
std::vector<SessionRecord> SessionRecordsOf(std::span<const std::uint8_t> bytes,
                                            const LibImageInfo& info);

// Why a session memory image is not a library that a session can be added
// to, or nothing when it is one: version byte 23, checksum offset L within
// 4 + 2N .. 2041, every table entry inside the session data, and the byte
// at L the XOR of bytes 0 .. L - 1. Unlike ReadLibraryImage it does not
// limit the number of sessions (adding is not limited) nor walk the records:
// a sound image always passes it when its L is at most 2041.
std::optional<std::string> CheckLibraryImage(std::span<const std::uint8_t, SesMemSize> image);

// ---- Measuring ----------------------------------------------------------

// The bytes of a session memory image that a library file holds: L + 1 for
// an image that passes CheckLibraryImage, else all 2048 (nothing is lost).
std::size_t UsedLength(std::span<const std::uint8_t, SesMemSize> image);
std::span<const std::uint8_t> UsedImageBytes(std::span<const std::uint8_t, SesMemSize> image);

// The checksum an image carries: the byte at its checksum offset L (0 when
// L lies outside the image). For an image that passed CheckLibraryImage it
// is the XOR of the bytes before it, the device's answer to X.
std::uint8_t ImageChecksum(std::span<const std::uint8_t, SesMemSize> image);

// The memory one session takes: its entry in the offset table, its two
// length bytes, five bytes a segment and its end byte.
constexpr std::int64_t SessionMemoryBytes(std::int64_t segments) { return 5 + 5 * segments; }

// A library's bytes as the device's whole memory: zeros after them. Bytes
// beyond the memory are left out.
MemoryImage MemoryImageOf(std::span<const std::uint8_t> bytes);

// ---- Building and editing -------------------------------------------------

// The image of `sessions` in this order: the L + 1 bytes, or nothing when
// they do not fit into the session memory. The number of sessions is not
// limited here (beyond the 255 of its byte); the library list keeps to 30.
std::optional<std::vector<std::uint8_t>> BuildLibraryImage(std::span<const SessionRecord> sessions);

struct AppendOutcome {
  bool Fits = false;       // false: the image is left unchanged
  int L = 0;               // new checksum offset
  std::uint8_t LibCS = 0;  // new checksum, also stored at L
};

// Appends session to a memory image that passed CheckLibraryImage: one
// more table entry (the records move up by 2 bytes), the new record at the
// old L + 2, then the new L and checksum. Does not fit when a segment would
// bring the session's end byte beyond MaxSessionEnd, when the checksum would
// lie outside the image, or when the count would pass 255. A merge into an
// image that the compiler made gives the image the compiler makes of the
// same sessions with the new one last.
AppendOutcome AppendSession(std::span<std::uint8_t, SesMemSize> image, const SessionRecord& session);

}  // namespace ovrel
