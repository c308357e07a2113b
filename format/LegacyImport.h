#pragma once
// Import of the legacy tab-separated session format (.rvx): clock durations
// become Time units, note names become pitches, mode abbreviations become
// mode numbers, and a segment longer than 23 units is split once.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/Result.h"
#include "session/Session.h"

namespace ovrel {

inline const std::string kUnsupportedSessionFormat = "Unsupported session file format";
inline const std::string kRvxImportFailed = "RVX file import failed.";
inline const std::string kRvxTruncated = "The number of segments in the session reached " +
                                         std::to_string(MaxSegCount) +
                                         ". The session has been truncated.";

struct RvxSession {
  Session Ses;             // the converted session, before optimisation
  bool Truncated = false;  // the session reached MaxSegCount segments
};
// The session, or which line is wrong and how.
using RvxReadResult = Result<RvxSession>;

// Converts the text of a legacy file (CR LF or LF line ends). Lines before
// "START" are skipped; the line right after it is always a segment line;
// the segments end at "END" or at the file's last line, which is not
// imported. A line that cannot be converted refuses the whole file.
RvxReadResult ConvertRvxText(std::string_view text);

// Pitch of a note of base frequency base (hertz) in the given octave: the
// base doubled octave times, then halved while above 400, in single
// precision, rounded to the nearest integer, halves to the even one.
int32_t NotePitch(float base, int octave);

// Base frequency of a note name ("A" to "G#", sharps only), or nothing.
std::optional<float> NoteBaseFreq(std::string_view note);

// Splits a segment once, in time halves: the first part keeps Time minus
// Time div 2 units, the second gets Time div 2 and takes Mode, FreqEnd and
// Pitch; the frequency midpoint FreqStart + (FreqEnd - FreqStart) div 2
// (halved towards zero) ends the first part and starts the second.
std::pair<Segment, Segment> SplitSegmentInHalves(const Segment& seg);

// Mode number of a mode column: "LR" 0, "FB" 2, "CR" 3, "LA" 4, "SA" 5 by
// its first two characters; anything else 1.
int32_t RvxMode(std::string_view column);

struct RvxImport {
  std::string Warning;  // after a truncated import: the truncation message
  std::string Name;     // the file's name without its extension
  bool Merged = false;  // the optimiser removed segments: the session counts as modified
};
// The import, or why there was none: Unsupported (another extension, the
// text is kUnsupportedSessionFormat), or what went wrong reading the file.
using RvxImportOutcome = Result<RvxImport>;

// The message box of a failed import: its text, and its detail (empty when
// there is none).
std::string RvxImportHeadline(const Failure& failure);
std::string RvxImportDetail(const Failure& failure);

// The import of the legacy file at path into the session. The extension
// must be ".rvx" (in any case). Only a file that was read whole replaces the
// session; then it is optimised, and the outcome names it after the file.
// The session has no file of its own then: Save asks for a name rather than
// write over the legacy file. On failure ses is left as it was.
RvxImportOutcome ImportRvxFile(Session& ses, const std::string& path);

}  // namespace ovrel
