#include "library/LibraryImageReader.h"

#include "library/LibraryCompiler.h"
#include "library/LibraryTypes.h"

namespace ovrel {

namespace {

int Word(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (bytes[at] << 8) | bytes[at + 1];
}

}  // namespace

LibImageInfo ReadLibraryImage(std::span<const std::uint8_t> bytes, LibImageLength length) {
  LibImageInfo info;
  auto problem = [&info](std::string text) { info.problems.push_back(std::move(text)); };
  const std::size_t size = bytes.size();
  if (size < 5) {
    problem("the image is " + std::to_string(size) + " bytes long, shorter than the 5 bytes of " +
            "an empty library");
    if (size >= 1) info.version = bytes[0];
    return info;
  }
  if (size > SesMemSize)
    problem("the image is " + std::to_string(size) + " bytes long, longer than the session memory");

  info.version = bytes[0];
  info.sessionCount = bytes[1];
  info.checksumOffset = Word(bytes, 2);
  const int n = info.sessionCount;
  const int L = info.checksumOffset;
  info.freeBytes = SesMemSize - (static_cast<std::int64_t>(L) + 1);
  if (info.version != LibFormatVersion)
    problem("version " + std::to_string(info.version) + " instead of 23");
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
  info.storedChecksum = bytes[L];
  info.computedChecksum = LibChecksum(bytes.first(L));
  if (!info.checksumMatches()) problem("the stored checksum does not match the image");

  const int tableEnd = 4 + 2 * n;
  if (tableEnd > L) {
    problem("the offset table of " + std::to_string(n) + " sessions runs past the checksum");
    return info;
  }
  int expected = tableEnd;  // where the next session must begin
  for (int k = 0; k < n; ++k) {
    LibImageSession session;
    session.offset = Word(bytes, 4 + 2 * k);
    if (session.offset != expected) {
      problem("session " + std::to_string(k + 1) + " begins at " + std::to_string(session.offset) +
              " instead of " + std::to_string(expected));
    }
    if (session.offset + 2 >= L) {
      problem("session " + std::to_string(k + 1) + " lies outside the sessions area");
      return info;
    }
    session.minutes = bytes[session.offset];
    session.seconds = bytes[session.offset + 1];
    int pos = session.offset + 2;
    while (pos < L && bytes[pos] != 0) {
      if (pos + 5 > L) break;
      ++session.segments;
      pos += 5;
    }
    info.sessions.push_back(session);
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

}  // namespace ovrel
