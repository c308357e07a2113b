#pragma once
// What the exchange formats of other beat generators (.sbg, .gnaural) share:
// the result of an import with its list of changes, the conversion of a
// frequency course into segments and the points an export writes. Files
// are read and written through the table of formats (FileFormats.h).

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "session/Session.h"

namespace ovrel {

// The mode every imported segment gets: the formats carry no mode, so an
// imported session has the mode a new segment has.
inline constexpr int32_t kImportedMode = 1;

// The changes an import made, each listed once, in the order they were met.
class ChangeList {
 public:
  void Add(const std::string& change);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
  std::set<std::string> seen_;
};

// An imported session and what the import changed on the way.
struct ExchangeImport {
  ovrel::Session Session;
  std::vector<std::string> Changes;  // every change, "line 12: ..." or "entry 3: ..."
  // Where each segment of Session came from ("line 12"), segment 1 first,
  // and the time in the source where it starts (the source's first time
  // line or entry at 0).
  std::vector<std::string> SegmentOrigins;
  std::vector<double> SegmentSourceStarts;
  double LeftOutSeconds = 0;  // the source's time that was left out
};
// The import, or what is wrong and where.
using ExchangeRead = Result<ExchangeImport>;

// The length an import gives a tone-set that plays on with no end (the
// schedule's last one, or its only one), in minutes.
inline constexpr int32_t kDefaultOpenEndMinutes = 30;
inline constexpr int32_t kMaxOpenEndMinutes = 2185;  // a whole session of 380 long segments

struct ImportOptions {
  int32_t OpenEndMinutes = kDefaultOpenEndMinutes;
};

// Text from the input as a message quotes it: in double quotes, with
// control characters, bytes that are not UTF-8 and invisible characters
// (byte-order mark, zero-width and non-breaking spaces, ...) shown as
// \xNN or \u{XXXX}, shortened after 60 characters.
std::string QuotedInput(std::string_view text);

// One stretch of the imported course: its length, and the beat and the
// carrier (already whole hertz and in range) at its start and its end. A
// stretch with LeftOut set ("1:00 of \"rest\", which has no binaural tone,
// are left out") is silence or sound the device cannot play: it is left out
// and listed with how far everything after it moves.
struct CourseSpan {
  double Seconds = 0;
  int32_t BeatStart = 10;
  int32_t BeatEnd = 10;
  int32_t PitchStart = 100;
  int32_t PitchEnd = 100;
  std::string Origin;  // "line 12", "entry 3"
  std::string LeftOut;
};

// The beat's magnitude rounded to whole hertz and clamped to 1..48; a
// fraction or a clamp is listed as a change of `origin`.
int32_t TakeBeat(double hz, const std::string& origin, ChangeList& changes);
// The carrier rounded to whole hertz and clamped to 48..400, listed likewise.
int32_t TakePitch(double hz, const std::string& origin, ChangeList& changes);

// Turns the spans into segments. The boundaries between the spans are
// rounded to the 15-second grid by their time from the start (not each
// duration on its own), so the total stays within 7.5 s of the source; a
// span that falls inside one unit merges into its neighbours. A pitch glide
// is held at its start pitch; a span longer than 23 units is cut as the
// sweep designer cuts, each piece following the straight line with its ends
// rounded to whole hertz. Every change is listed. Fails with the reason when
// no span is left or the session would need more than MaxSegCount segments.
ExchangeRead SpansToSession(const std::vector<CourseSpan>& spans, ChangeList& changes);

// A time as the lists show it: "m:ss", "h:mm:ss", with a fraction of a
// second when it has one.
std::string ClockText(double seconds);

// One point of an exported course: its time from the start, the frequency
// and the pitch there, and whether the course slides from it to the next
// point (false for a segment's end point, where the next segment starts).
struct ExportPoint {
  int64_t Seconds = 0;
  int32_t Freq = 10;
  int32_t Pitch = 100;
  bool Slide = true;
};

// Each segment's start point, sliding to the next point; a segment's end
// point where the next segment does not start with the same frequency and
// pitch, and after the last segment. So the points give the session's
// frequency course exactly, with each segment's pitch held.
std::vector<ExportPoint> ExportPoints(const Session& ses);

// The export's lines that name the session and the program, and say that
// modes are not carried.
std::vector<std::string> ExportDescription(const std::string& sesName, const std::string& producer);

}  // namespace ovrel
