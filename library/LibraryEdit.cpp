#include "library/LibraryEdit.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "format/SessionFile.h"
#include "library/SessionScan.h"

namespace ovrel {

LibrarySessions ReadLibrarySessions(std::span<const std::uint8_t> bytes, LibImageLength length) {
  LibImageInfo info = ReadLibraryImage(bytes, length);
  // Adding sessions one by one is not limited to the compiler's 30, so the
  // device (and a backup of it) may hold more; such a library is sound.
  if (info.SessionCount > MaxLibSessions) {
    const std::string tooMany = std::to_string(info.SessionCount) + " sessions, more than " +
                                std::to_string(MaxLibSessions);
    std::erase(info.Problems, tooMany);
  }
  if (!info.Valid()) {
    std::string why;
    for (const std::string& problem : info.Problems) why += (why.empty() ? "" : "; ") + problem;
    return Failure{Fault::NotLibrary, why};
  }
  return SessionRecordsOf(bytes, info);
}

bool RemoveSessions(std::vector<SessionRecord>& sessions, std::span<const int> indexes) {
  const int count = static_cast<int>(sessions.size());
  std::set<int> doomed;
  for (const int index : indexes) {
    if (index < 0 || index >= count) return false;
    doomed.insert(index);
  }
  // From the back, so the indexes still to go keep their places.
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) sessions.erase(sessions.begin() + *it);
  return true;
}

bool MoveSession(std::vector<SessionRecord>& sessions, int index, int by) {
  const int count = static_cast<int>(sessions.size());
  const int to = index + by;
  if ((by != -1 && by != 1) || index < 0 || index >= count || to < 0 || to >= count) return false;
  std::swap(sessions[static_cast<std::size_t>(index)], sessions[static_cast<std::size_t>(to)]);
  return true;
}

RecordFacts FactsOf(const SessionRecord& record) {
  RecordFacts facts;
  std::set<int> modes;
  bool first = true;
  for (const auto& segment : record.Segments) {
    facts.TimeUnits += segment[0] % 32;
    modes.insert(segment[0] / 32);
    for (const int freq : {segment[1] % 128, segment[2] % 128}) {
      facts.FreqLow = first ? freq : std::min(facts.FreqLow, freq);
      facts.FreqHigh = first ? freq : std::max(facts.FreqHigh, freq);
      first = false;
    }
  }
  facts.Modes.assign(modes.begin(), modes.end());
  return facts;
}

std::string SessionRecordFileText(const SessionRecord& record) {
  const std::int64_t seconds = 15 * FactsOf(record).TimeUnits;
  std::int64_t minutesLine = record.Minutes;
  std::int64_t secondsLine = record.Seconds;
  if ((seconds / 60) % 256 == record.Minutes && seconds % 60 == record.Seconds) {
    minutesLine = seconds / 60;
    secondsLine = seconds % 60;
  }
  std::vector<PackedSegment> segments;
  for (const auto& bytes : record.Segments)
    segments.push_back({bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]});
  return SessionLinesText(
      {static_cast<std::int32_t>(minutesLine), static_cast<std::int32_t>(secondsLine)}, segments);
}

std::vector<FolderSession> ScanSessionFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<FolderSession> found;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) return found;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    const fs::path& path = it->path();
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext != ".svs" || !it->is_regular_file(error)) continue;
    const SessionScanRead read = ScanSessionFile(path.string());
    if (read) found.push_back({path.string(), read->Record()});
  }
  std::sort(found.begin(), found.end(),
            [](const FolderSession& a, const FolderSession& b) { return a.Path < b.Path; });
  return found;
}

const FolderSession* MatchSessionFile(const SessionRecord& record,
                                      std::span<const FolderSession> files) {
  for (const FolderSession& file : files) {
    if (file.Record.Segments == record.Segments) return &file;
  }
  return nullptr;
}

}  // namespace ovrel
