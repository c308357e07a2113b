#include "library/LibraryImage.h"

#include <algorithm>
#include <numeric>

namespace ovrel {

namespace {

int Word(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (bytes[at] << 8) | bytes[at + 1];
}

void PutWord(std::span<std::uint8_t> bytes, std::size_t at, std::int64_t value) {
  bytes[at] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  bytes[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// The header fields of an image of at least 4 bytes.
struct Header {
  int Version = 0;
  int Sessions = 0;        // N
  int ChecksumOffset = 0;  // L
  int DataStart() const { return 4 + 2 * Sessions; }
};

Header ReadHeader(std::span<const std::uint8_t> bytes) {
  return {bytes[0], bytes[1], Word(bytes, 2)};
}

}  // namespace

std::int64_t SesMemFreeBytes(std::int64_t sessions, std::int64_t segments) {
  return SesMemSize - (LibChecksumOffset(sessions, segments) + 1);
}

std::uint8_t LibChecksum(std::span<const std::uint8_t> bytes) {
  return std::accumulate(bytes.begin(), bytes.end(), std::uint8_t{0},
                         [](std::uint8_t sum, std::uint8_t b) { return sum ^ b; });
}

LibImageInfo ReadLibraryImage(std::span<const std::uint8_t> bytes, LibImageLength length) {
  LibImageInfo info;
  auto problem = [&info](std::string text) { info.Problems.push_back(std::move(text)); };
  const std::size_t size = bytes.size();
  if (size < 5) {
    problem("the image is " + std::to_string(size) + " bytes long, shorter than the 5 bytes of " +
            "an empty library");
    if (size >= 1) info.Version = bytes[0];
    return info;
  }
  if (size > SesMemSize)
    problem("the image is " + std::to_string(size) + " bytes long, longer than the session memory");

  const Header header = ReadHeader(bytes);
  info.Version = header.Version;
  info.SessionCount = header.Sessions;
  info.ChecksumOffset = header.ChecksumOffset;
  const int n = header.Sessions;
  const int L = header.ChecksumOffset;
  info.FreeBytes = SesMemSize - (static_cast<std::int64_t>(L) + 1);
  if (info.Version != LibFormatVersion)
    problem("version " + std::to_string(info.Version) + " instead of 23");
  if (n > MaxLibSessions)
    problem(std::to_string(n) + " sessions, more than " + std::to_string(MaxLibSessions));

  if (static_cast<std::size_t>(L) >= size) {
    problem("the checksum offset " + std::to_string(L) + " lies outside the image");
    return info;
  }
  if (length == LibImageLength::Exact && size != static_cast<std::size_t>(L) + 1) {
    problem("the image is " + std::to_string(size) + " bytes long, the checksum offset " +
            std::to_string(L) + " makes it " + std::to_string(L + 1));
  }
  info.StoredChecksum = bytes[L];
  info.ComputedChecksum = LibChecksum(bytes.first(L));
  if (!info.ChecksumMatches()) problem("the stored checksum does not match the image");

  const int tableEnd = header.DataStart();
  if (tableEnd > L) {
    problem("the offset table of " + std::to_string(n) + " sessions runs past the checksum");
    return info;
  }
  int expected = tableEnd;  // where the next session must begin
  for (int k = 0; k < n; ++k) {
    LibImageSession session;
    session.Offset = Word(bytes, 4 + 2 * k);
    if (session.Offset != expected) {
      problem("session " + std::to_string(k + 1) + " begins at " + std::to_string(session.Offset) +
              " instead of " + std::to_string(expected));
    }
    if (session.Offset + 2 >= L) {
      problem("session " + std::to_string(k + 1) + " lies outside the sessions area");
      return info;
    }
    session.Minutes = bytes[session.Offset];
    session.Seconds = bytes[session.Offset + 1];
    int pos = session.Offset + 2;
    while (pos < L && bytes[pos] != 0) {
      if (pos + 5 > L) break;
      ++session.Segments;
      pos += 5;
    }
    info.Sessions.push_back(session);
    if (pos >= L || bytes[pos] != 0) {
      problem("session " + std::to_string(k + 1) + " has no end byte before the checksum");
      return info;
    }
    expected = pos + 1;
  }
  if (expected != L) {
    problem("the sessions end at " + std::to_string(expected) + " but the checksum offset is " +
            std::to_string(L));
  }
  return info;
}

std::vector<SessionRecord> SessionRecordsOf(std::span<const std::uint8_t> bytes,
                                            const LibImageInfo& info) {
  std::vector<SessionRecord> records;
  for (const LibImageSession& s : info.Sessions) {
    SessionRecord record;
    record.Minutes = static_cast<std::uint8_t>(s.Minutes);
    record.Seconds = static_cast<std::uint8_t>(s.Seconds);
    for (int k = 0; k < s.Segments; ++k) {
      const auto segment = bytes.subspan(static_cast<std::size_t>(s.Offset) + 2 + 5 * k, 5);
      std::array<std::uint8_t, 5> five{};
      std::copy(segment.begin(), segment.end(), five.begin());
      record.Segments.push_back(five);
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::optional<std::string> CheckLibraryImage(std::span<const std::uint8_t, SesMemSize> image) {
  const Header header = ReadHeader(image);
  if (header.Version != LibFormatVersion) {
    return "its version byte is " + std::to_string(header.Version) + ", not 23";
  }
  const int dataStart = header.DataStart();
  const int l = header.ChecksumOffset;
  if (l < dataStart || l > MaxSessionEnd + 1) {
    return "its checksum offset " + std::to_string(l) + " lies outside " +
           std::to_string(dataStart) + " to 2041";
  }
  for (int k = 0; k < header.Sessions; ++k) {
    const int entry = Word(image, 4 + 2 * k);
    if (entry < dataStart || entry >= l) {
      return "the offset of session " + std::to_string(k + 1) + " lies outside the session data";
    }
  }
  if (LibChecksum(image.first(l)) != image[l]) return "its checksum does not match its contents";
  return std::nullopt;
}

std::size_t UsedLength(std::span<const std::uint8_t, SesMemSize> image) {
  if (CheckLibraryImage(image)) return SesMemSize;
  return static_cast<std::size_t>(ReadHeader(image).ChecksumOffset) + 1;
}

std::uint8_t ImageChecksum(std::span<const std::uint8_t, SesMemSize> image) {
  const int l = ReadHeader(image).ChecksumOffset;
  return l >= 0 && l < SesMemSize ? image[static_cast<std::size_t>(l)] : std::uint8_t{0};
}

MemoryImage MemoryImageOf(std::span<const std::uint8_t> bytes) {
  MemoryImage image{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
  return image;
}

std::span<const std::uint8_t> UsedImageBytes(std::span<const std::uint8_t, SesMemSize> image) {
  return std::span<const std::uint8_t>(image).first(UsedLength(image));
}

std::optional<std::vector<std::uint8_t>> BuildLibraryImage(std::span<const SessionRecord> sessions) {
  const std::int64_t n = static_cast<std::int64_t>(sessions.size());
  std::int64_t segments = 0;
  for (const SessionRecord& s : sessions) segments += static_cast<std::int64_t>(s.Segments.size());
  const std::int64_t l = LibChecksumOffset(n, segments);
  if (n > 255 || l + 1 > SesMemSize) return std::nullopt;

  std::vector<std::uint8_t> image(static_cast<std::size_t>(l) + 1, 0);
  image[0] = LibFormatVersion;
  image[1] = static_cast<std::uint8_t>(n);
  PutWord(image, 2, l);
  std::size_t pos = 4 + 2 * static_cast<std::size_t>(n);
  for (std::int64_t k = 0; k < n; ++k) {
    PutWord(image, 4 + 2 * k, static_cast<std::int64_t>(pos));
    const SessionRecord& s = sessions[k];
    image[pos++] = s.Minutes;
    image[pos++] = s.Seconds;
    for (const auto& segment : s.Segments) {
      std::copy(segment.begin(), segment.end(), image.begin() + static_cast<std::ptrdiff_t>(pos));
      pos += 5;
    }
    image[pos++] = 0;
  }
  image[pos] = LibChecksum(std::span(image).first(pos));
  return image;
}

AppendOutcome AppendSession(std::span<std::uint8_t, SesMemSize> image, const SessionRecord& session) {
  const Header header = ReadHeader(image);
  const int n = header.Sessions;
  const int oldL = header.ChecksumOffset;
  // The session count must fit its byte.
  if (n >= 255) return {};
  // The end byte lands at the old L + 4 + 5 per segment. The memory limit
  // is tested after each segment line, so a session without segment lines
  // is always added as long as its checksum still lies inside the image.
  const long end = oldL + 4 + 5L * static_cast<long>(session.Segments.size());
  if (!session.Segments.empty() && end > MaxSessionEnd) return {};
  if (end + 1 >= SesMemSize) return {};

  const int dataStart = header.DataStart();
  image[1] = static_cast<std::uint8_t>(n + 1);
  for (int k = 0; k < n; ++k) PutWord(image, 4 + 2 * k, Word(image, 4 + 2 * k) + 2);
  std::copy_backward(image.begin() + dataStart, image.begin() + oldL + 1, image.begin() + oldL + 3);
  PutWord(image, dataStart, oldL + 2);

  int p = oldL + 2;
  image[p++] = session.Minutes;
  image[p++] = session.Seconds;
  for (const auto& segment : session.Segments) {
    std::copy(segment.begin(), segment.end(), image.begin() + p);
    p += 5;
  }
  image[p++] = 0;
  const int l = p;
  PutWord(image, 2, l);
  const std::uint8_t cs = LibChecksum(image.first(l));
  image[l] = cs;
  return {true, l, cs};
}

}  // namespace ovrel
