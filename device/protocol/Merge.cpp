#include "device/protocol/Merge.h"

#include <algorithm>

#include "session/SessionFile.h"

namespace ovrel {
namespace {

std::uint8_t LowByte(std::int32_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

int Word(std::span<const std::uint8_t> image, int offset) {
  return (image[offset] << 8) | image[offset + 1];
}

void PutWord(std::span<std::uint8_t> image, int offset, int value) {
  image[offset] = static_cast<std::uint8_t>(value >> 8);
  image[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

MergeSessionRead ReadSessionForMerge(std::string_view text, const std::string& sourceName) {
  const SessionLinesRead read = ReadSessionLines(text, sourceName);
  if (!read) return {std::nullopt, read.error};
  if (!read.lines->TotalTimeError.empty()) return {std::nullopt, read.lines->TotalTimeError};
  MergeSession session;
  session.Minutes = LowByte(read.lines->TotalTime[0]);
  session.Seconds = LowByte(read.lines->TotalTime[1]);
  for (const PackedSegment& p : read.lines->Segments) {
    session.Segments.push_back({LowByte(p.TimeModeByte), LowByte(p.FreqStartByte),
                                LowByte(p.FreqEndByte), LowByte(p.PitchLowByte),
                                LowByte(p.Pitch2LowByte)});
  }
  return {std::move(session), {}};
}

std::optional<std::string> CheckLibraryImage(std::span<const std::uint8_t, kSesMemSize> image) {
  if (image[0] != kLibraryVersion) {
    return "its version byte is " + std::to_string(image[0]) + ", not 23";
  }
  const int n = image[1];
  const int dataStart = 4 + 2 * n;
  const int l = Word(image, 2);
  if (l < dataStart || l > kMaxSessionEnd + 1) {
    return "its checksum offset " + std::to_string(l) + " lies outside " +
           std::to_string(dataStart) + " to 2041";
  }
  for (int k = 0; k < n; ++k) {
    const int entry = Word(image, 4 + 2 * k);
    if (entry < dataStart || entry >= l) {
      return "the offset of session " + std::to_string(k + 1) + " lies outside the session data";
    }
  }
  if (XorSum(image.first(l)) != image[l]) return "its checksum does not match its contents";
  return std::nullopt;
}

MergeOutcome MergeSessionIntoImage(std::span<std::uint8_t, kSesMemSize> image,
                                   const MergeSession& session) {
  const int n = image[1];
  const int oldL = Word(image, 2);
  // The session count must fit its byte.
  if (n >= 255) return {};
  // The end byte lands at the old L + 4 + 5 per segment. The memory limit
  // is tested after each segment line, so a session without segment lines
  // is always added as long as its checksum still lies inside the image.
  const long end = oldL + 4 + 5L * static_cast<long>(session.Segments.size());
  if (!session.Segments.empty() && end > kMaxSessionEnd) return {};
  if (end + 1 >= kSesMemSize) return {};

  const int dataStart = 4 + 2 * n;
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
  const std::uint8_t cs = XorSum(image.first(l));
  image[l] = cs;
  return {true, l, cs};
}

}  // namespace ovrel
