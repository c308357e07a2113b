#pragma once
// A session file as the library compiler takes it: the numbers of its total
// time line and of every segment line, read by the one session reader. The
// editor's session model is not involved.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "library/LibraryImage.h"

namespace ovrel {

struct SessionScan {
  // The two numbers of the total time line (minutes, seconds), as written.
  std::array<std::int32_t, 2> TotalTime{};
  // The five numbers of each segment line, in file order.
  std::vector<std::array<std::int32_t, 5>> Segments;
  // Sum of the segments' Time (first number mod 32), in 15-second units.
  std::int64_t TimeUnits = 0;

  // The record the image stores: each number's low 8 bits.
  SessionRecord Record() const;
  // The warning when the total time line holds more minutes than the
  // record keeps (DeviceLengthWarning), else empty.
  std::string DeviceLengthWarning() const;
};

// Either the scan or what the session reader refused: the message names the
// file and, where there is one, the line.
using SessionScanRead = Result<SessionScan>;

// Scans the text of a session file. `fileName` is used in messages only.
// Whatever the session reader refuses (ReadSessionLines) is an error; a
// session without segment lines is accepted.
SessionScanRead ScanSessionText(std::string_view text, const std::string& fileName);

// Reads the file at `path` and scans it; a file that cannot be read is an
// error too.
SessionScanRead ScanSessionFile(const std::string& path);

// A session file read for the image: the record, or a sentence saying what
// is wrong and on which line.
using SessionRecordRead = Result<SessionRecord>;

// Reads a session file's text as ScanSessionText does and keeps its record.
// sourceName names the file in messages.
SessionRecordRead ReadSessionRecord(std::string_view text, const std::string& sourceName);

}  // namespace ovrel
