#pragma once
// The session file (.svs): CR LF text lines, "version=23", the total time
// line, one packed segment line per segment and the "0," end line.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "session/Session.h"

namespace ovrel {

// "#" and 76 hyphens.
inline const std::string kRuleLine = "#" + std::string(76, '-');

// The five numbers of a segment line (also the five bytes the device stores).
struct PackedSegment {
  int32_t TimeModeByte = 0;
  int32_t FreqStartByte = 0;
  int32_t FreqEndByte = 0;
  int32_t PitchLowByte = 0;
  int32_t Pitch2LowByte = 0;
};

// Packs a segment with its Pitch in both pitch slots.
PackedSegment PackSegment(const Segment& seg);
// Unpacks a segment line's numbers; the second pitch slot is discarded.
Segment UnpackSegment(const PackedSegment& p);

// Total minutes and remaining seconds of the session: "1,0,".
std::string TotalTimeLine(const Session& ses);
// "36,10,10,100,100," for a default segment.
std::string PackedSegmentLine(const Segment& seg);
std::string PackedSegmentLine(const PackedSegment& segment);

// The one writer of the session format: a file of the given total time line
// numbers (minutes, seconds) and segment lines, CR LF line ends.
std::string SessionLinesText(const std::array<int32_t, 2>& totalTime,
                             const std::vector<PackedSegment>& segments);
// The whole file text of a session: its total time and its segments.
std::string SessionFileText(const Session& ses);

// What every reader of session files takes from one: the numbers of the
// total time line and of each segment line, as written.
struct SessionLines {
  std::array<int32_t, 2> TotalTime{};  // minutes, seconds
  // Why the total time line holds no two numbers ("file, line N: ..."); empty
  // when it does. The editor never reads that line, so only the readers that
  // take its numbers (the compiler and the merge) refuse such a file.
  std::string TotalTimeError;
  std::vector<PackedSegment> Segments;  // in file order
  int EndLineNo = 0;                    // the line number of the "0," line
};

// The lines, or what is wrong, naming the file, the line and the fault.
using SessionLinesRead = Result<SessionLines>;

// The one reader of the session format; the editor, the library compiler and
// the single-session merge all read through it. Lines end in LF, a CR before
// it is dropped. Lines up to "version=23" are skipped; then "#" lines, the
// total time line (two numbers), and segment lines (five numbers, "#" lines
// between them) up to a line beginning with "0,". A number is decimal digits
// with an optional leading minus, no spaces, no plus sign, within 32 bits,
// and is followed by a comma; what follows the last needed comma is not
// read. A segment line is refused when its first number is 0 in its low 8
// bits (the device would read the end of the session there), when its pitch
// (256 x (field 2 div 128) + field 4) does not fit 32 bits, and beyond
// MaxSegCount lines. sourceName names the file in messages.
SessionLinesRead ReadSessionLines(std::string_view text, const std::string& sourceName);
// Reads the regular file at path (at most kMaxTextFileBytes) and its lines.
SessionLinesRead ReadSessionLinesFile(const std::string& path);

// The session, or what is wrong, naming the file, the line and the fault.
using SessionReadResult = Result<Session>;

// Reads a session for the editor: the lines as above, and a file with no
// segment line is refused (the editor cannot show an empty session). A
// fresh session is filled, so the caller's session stays as it is unless
// the caller takes the result.
SessionReadResult ReadSessionText(std::string_view text, const std::string& sourceName);
// Reads the file at path; a file that cannot be read is reported, never thrown.
SessionReadResult ReadSessionFile(const std::string& path);

// Writes the session to fileName (atomically). On failure returns the error
// text and changes nothing.
using SaveResult = Result<void>;
SaveResult SaveSession(const Session& ses, const std::string& fileName);

}  // namespace ovrel
