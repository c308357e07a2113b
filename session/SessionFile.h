#pragma once
// The session file (.svs): CR LF text lines, "version=23", the total time
// line, one packed segment line per segment and the "0," end line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "session/Session.h"
#include "session/SessionEditState.h"

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

// The whole file text of a session, CR LF line ends.
std::string SessionFileText(const Session& ses);

struct SessionReadResult {
  std::optional<Session> session;  // set on success
  std::string error;               // on failure: names the file, the line and the fault
  explicit operator bool() const { return session.has_value(); }
};

// Reads a session from file text. sourceName names the file in messages.
// Lines may end in CR LF or in LF alone. A fresh session is filled, so the
// caller's session stays as it is unless the caller takes the result.
SessionReadResult ReadSessionText(std::string_view text, const std::string& sourceName);
// Reads the file at path.
SessionReadResult ReadSessionFile(const std::string& path);

// Writes the session to st.SesFileName (atomically) and clears SesModified
// on success. On failure returns the error text and changes nothing.
struct SaveResult {
  bool ok = false;
  std::string error;
  explicit operator bool() const { return ok; }
};
SaveResult SaveProc(SessionEditState& st);

}  // namespace ovrel
