#pragma once
// The sessions of a library image as a list the user edits: removing and
// moving sessions (the image is then rebuilt with BuildLibraryImage, so it
// is the image the compiler makes of the same sessions in the same order),
// what a session record says about its session, taking a record back as a
// session file, and finding the session file a record was compiled from.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "library/LibraryImage.h"

namespace ovrel {

// The sessions of a library image, or why there are none: the image does
// not pass ReadLibraryImage (in the given length mode). More than 30
// sessions are accepted: adding one at a time goes beyond the compiler's
// limit.
// NotLibrary with the image's problems, "; "-separated.
using LibrarySessions = Result<std::vector<SessionRecord>>;
LibrarySessions ReadLibrarySessions(std::span<const std::uint8_t> bytes, LibImageLength length);

// Removes the sessions at the given 0-based indexes (in any order, each at
// most once counted). Returns false, changing nothing, when an index lies
// outside the list.
bool RemoveSessions(std::vector<SessionRecord>& sessions, std::span<const int> indexes);

// Moves the session at `index` one place towards the start (by = -1) or the
// end (by = +1). Returns false, changing nothing, when it cannot move.
bool MoveSession(std::vector<SessionRecord>& sessions, int index, int by);

// What a record says about its session.
struct RecordFacts {
  std::int64_t TimeUnits = 0;  // sum of the segments' Time, 15-second units
  std::vector<int> Modes;      // the modes its segments use, ascending, each once
  int FreqLow = 0;             // lowest and highest start or end frequency
  int FreqHigh = 0;            // (both 0 for a session without segments)
};
RecordFacts FactsOf(const SessionRecord& record);

// The text of a session file that holds `record`: the editor opens it, and
// the compiler builds the very same record from it. The five numbers of
// each segment line are the record's five bytes as they are (so a second
// pitch slot that differs from the first is kept). The total time line is
// the length computed from the segments when the record's two length bytes
// are that length's low 8 bits (a session over 255 minutes keeps its real
// minutes: 300 minutes compile to the stored 44), and the two stored bytes
// otherwise (a record whose length disagrees with its segments compiles
// back unchanged).
std::string SessionRecordFileText(const SessionRecord& record);

// A session file of a folder and the record the compiler makes of it.
struct FolderSession {
  std::string Path;
  SessionRecord Record;
};
// The readable ".svs" files of `folder` (not of its subfolders), by name;
// files that cannot be read or break the line rules are left out. An
// unreadable or missing folder gives an empty list.
std::vector<FolderSession> ScanSessionFolder(const std::string& folder);

// The first file of `files` whose segments are the record's segments, byte
// for byte; null when none is.
const FolderSession* MatchSessionFile(const SessionRecord& record,
                                      std::span<const FolderSession> files);

}  // namespace ovrel
