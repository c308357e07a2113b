#pragma once
// A frequency sweep turned into segments: a straight line from one frequency
// to another over a length of whole 15-second units, cut into the fewest
// segments a segment's time allows, their times as equal as possible. The
// editor's "Insert Sweep..." dialog and "ovrel sweep" both go through
// MakeSweep, so they make the same segments from the same texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/SegmentOps.h"
#include "session/Session.h"

namespace ovrel {

inline constexpr int32_t MaxSegTime = 23;  // the longest segment, in units (5:45)
// The longest sweep: MaxSegCount segments of MaxSegTime units (2185:00).
inline constexpr int32_t MaxSweepUnits = MaxSegCount * MaxSegTime;

// A sweep in numbers. Pitch runs from PitchFrom to PitchTo; equal values
// give one pitch for every segment.
struct SweepParameters {
  int32_t FreqFrom = 10;
  int32_t FreqTo = 10;
  int32_t Units = 4;  // length in units of TimeUnit
  int32_t PitchFrom = 100;
  int32_t PitchTo = 100;
  int32_t Mode = 1;  // IN
};

// A sweep as the user types it: frequencies in hertz, the length as "M" or
// "M:SS" minutes, the pitch as "P" or "P1:P2", the mode as its name.
struct SweepInput {
  std::string From;
  std::string To;
  std::string Length;
  std::string Pitch = "100";
  std::string Mode = "IN";
};

// The input a problem is about.
enum class SweepField { From, To, Length, Pitch, Mode };

struct SweepProblem {
  SweepField Field;
  std::string Reason;  // a sentence without a full stop, starting in lower case
};

struct SweepResult {
  std::vector<Segment> Segments;      // the sweep's segments in playing order; empty on failure
  std::vector<SweepProblem> Problems;  // one per faulty field, in field order; empty on success

  bool Ok() const { return Problems.empty(); }
  // The reason given for field, or empty when it is fine.
  std::string Reason(SweepField field) const;
  // Total length of the segments in seconds.
  int64_t TotalSeconds() const;
};

// The segments of a sweep. The length is cut into the fewest segments of at
// most MaxSegTime units, their times differing by at most one unit, the
// longer ones first. Each segment runs from the line FreqFrom -> FreqTo at
// its start to the line at its end, rounded to the nearest hertz (halves
// away from zero), so each one ends where the next begins and the last ends
// at FreqTo. Its pitch is the line PitchFrom -> PitchTo at its middle,
// rounded the same way. Values outside the segment ranges, and a sweep that
// needs more than `room` segments (the room left in the session), are
// refused with their reasons.
SweepResult MakeSweep(const SweepParameters& parameters, int32_t room = MaxSegCount);
// The same from typed texts: each text is checked and the problems of every
// faulty field reported together.
SweepResult MakeSweep(const SweepInput& input, int32_t room = MaxSegCount);

// Minutes as "M" or "M:SS" (SS two digits below 60), in seconds; nothing for
// any other text.
std::optional<int64_t> ParseMinutesText(std::string_view text);
// The mode for its name ("LR", "IN", ..., "SL", in any case); nothing for
// another name.
std::optional<int32_t> ModeFromName(std::string_view name);

// Puts segs before segment `current`, as Paste does, and leaves the cursor
// on the first of them. Refused with the 380 segments' error when they do
// not fit; the session counts as modified also when segs is empty.
SegOpResult InsertSegments(Session& ses, int32_t current, const std::vector<Segment>& segs);

}  // namespace ovrel
