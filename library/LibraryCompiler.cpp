#include "library/LibraryCompiler.h"

#include <numeric>

#include "library/SessionScan.h"

namespace ovrel {

namespace {

void PutWord(std::vector<std::uint8_t>& image, std::size_t at, std::int64_t value) {
  image[at] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  image[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t LowByte(std::int32_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

std::uint8_t LibChecksum(std::span<const std::uint8_t> bytes) {
  return std::accumulate(bytes.begin(), bytes.end(), std::uint8_t{0},
                         [](std::uint8_t sum, std::uint8_t b) { return sum ^ b; });
}

std::vector<std::uint8_t> CompileSesLib(std::span<const TSesInLibParamsRec> entries) {
  const std::int64_t sessions = static_cast<std::int64_t>(entries.size());
  std::int64_t segments = 0;
  for (const auto& entry : entries) segments += entry.NumOfSegs;
  const std::int64_t checksumAt = LibChecksumOffset(sessions, segments);
  if (sessions > MaxLibSessions || checksumAt + 1 > SesMemSize) {
    throw LibraryError("The library does not fit into the session memory (" +
                       std::to_string(checksumAt + 1) + " of " + std::to_string(SesMemSize) +
                       " bytes).");
  }

  std::vector<std::uint8_t> image(SesMemSize, 0);
  image[0] = LibFormatVersion;
  image[1] = static_cast<std::uint8_t>(sessions);
  PutWord(image, 2, checksumAt);
  std::int64_t offset = 4 + 2 * sessions;
  for (std::int64_t k = 0; k < sessions; ++k) {
    PutWord(image, 4 + 2 * k, offset);
    offset += 3 + 5 * entries[k].NumOfSegs;
  }

  std::size_t pos = 4 + 2 * sessions;
  for (const auto& entry : entries) {
    SessionScan scan;
    try {
      scan = ScanSessionFile(entry.FilePath);
    } catch (const SessionFileError& e) {
      throw LibraryError(e.what());
    }
    // The offsets above come from the recorded counts; a file whose count
    // changed would shift every later session (or overrun the memory).
    if (scan.segments.size() != static_cast<std::size_t>(entry.NumOfSegs)) {
      throw LibraryError(entry.FilePath + ": the file has changed since it was added to the " +
                         "library (" + std::to_string(scan.segments.size()) +
                         " segment lines now, " + std::to_string(entry.NumOfSegs) +
                         " before). Add it again.");
    }
    image[pos++] = LowByte(scan.totalTime[0]);
    image[pos++] = LowByte(scan.totalTime[1]);
    for (const auto& segment : scan.segments)
      for (std::int32_t number : segment) image[pos++] = LowByte(number);
    image[pos++] = 0;
  }

  image[pos] = LibChecksum(std::span(image).first(pos));
  image.resize(pos + 1);
  return image;
}

}  // namespace ovrel
