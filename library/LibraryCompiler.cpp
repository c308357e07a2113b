#include "library/LibraryCompiler.h"

#include "library/LibraryImage.h"
#include "library/SessionScan.h"

namespace ovrel {

CompiledLibrary CompileSesLib(std::span<const LibraryEntry> entries) {
  const std::int64_t sessions = static_cast<std::int64_t>(entries.size());
  std::int64_t segments = 0;
  for (const auto& entry : entries) segments += entry.NumOfSegs;
  const std::int64_t checksumAt = LibChecksumOffset(sessions, segments);
  if (sessions > MaxLibSessions || checksumAt + 1 > SesMemSize) {
    return Failure{Fault::TooLarge, "The library does not fit into the session memory (" +
                                        std::to_string(checksumAt + 1) + " of " +
                                        std::to_string(SesMemSize) + " bytes)."};
  }

  std::vector<SessionRecord> records;
  std::vector<std::string> warnings;
  records.reserve(entries.size());
  for (const auto& entry : entries) {
    const SessionScanRead read = ScanSessionFile(entry.FilePath);
    if (!read) return read.Failed();
    // The budget was counted with the recorded counts; a file whose count
    // changed would make a different library from the one the list shows.
    if (read->Segments.size() != static_cast<std::size_t>(entry.NumOfSegs)) {
      return Failure{Fault::Changed, entry.FilePath +
                                         ": the file has changed since it was added "
                                         "to the library (" +
                                         std::to_string(read->Segments.size()) +
                                         " segment lines now, " + std::to_string(entry.NumOfSegs) +
                                         " before). Add it again."};
    }
    records.push_back(read->Record());
    if (std::string warning = read->DeviceLengthWarning(); !warning.empty())
      warnings.push_back(entry.FilePath + ": " + std::move(warning));
  }
  // The counts match the entries, so the image fits as checked above.
  return LibraryBuild{BuildLibraryImage(records).value_or(std::vector<std::uint8_t>{}),
                      std::move(warnings)};
}

}  // namespace ovrel
