#include "format/LegacyImport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "fileio/FileBytes.h"
#include "format/FileFormats.h"
#include "format/SessionFile.h"
#include "session/SesOptimize.h"
#include "session/SessionName.h"

namespace ovrel {

namespace {

constexpr int32_t kMaxSegTime = 23;  // the longest segment the editor makes
constexpr size_t kColumnCount = 19;  // column 0 and columns 1 to 18

// Hands out the lines of a text with their 1-based numbers. A line ends at
// LF; a CR right before the LF is not part of the line.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool next(std::string_view& line) {
    if (atEnd()) return false;
    const size_t end = text_.find('\n', pos_);
    const size_t stop = end == std::string_view::npos ? text_.size() : end;
    line = text_.substr(pos_, stop - pos_);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    pos_ = end == std::string_view::npos ? text_.size() : end + 1;
    ++lineNo_;
    return true;
  }
  // True when no character is left to read.
  bool atEnd() const { return pos_ >= text_.size(); }
  int lineNo() const { return lineNo_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int lineNo_ = 0;
};

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The text in quotes; a long one is cut to a short excerpt.
std::string Quoted(std::string_view s) {
  return "\"" + Excerpt(s) + "\"";
}

// A whole decimal number with an optional sign.
std::optional<int64_t> ParseWhole(std::string_view s) {
  s = Trimmed(s);
  if (s.size() > 1 && s.front() == '+' && s[1] != '-') s.remove_prefix(1);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// A finite decimal number with or without a fraction.
std::optional<double> ParseDecimal(std::string_view s) {
  s = Trimmed(s);
  if (s.size() > 1 && s.front() == '+' && s[1] != '-') s.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// Rounds to the nearest integer, halves to the even one; nothing when the
// result does not fit a segment field.
std::optional<int32_t> RoundToField(double v) {
  const double r = std::nearbyint(v);
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(r);
}

// Splits a segment line into columns 0 to 18; a line without a tab has no
// columns. Missing columns at the end are empty.
std::optional<std::array<std::string_view, kColumnCount>> Columns(std::string_view line) {
  size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return std::nullopt;
  std::array<std::string_view, kColumnCount> cols{};
  cols[0] = line.substr(0, tab);
  for (size_t c = 1; c < kColumnCount && tab != std::string_view::npos; ++c) {
    const size_t start = tab + 1;
    tab = line.find('\t', start);
    cols[c] =
        line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
  }
  return cols;
}

// Duration "m:ss" in Time units: 4 per minute and the seconds in units of
// 15, rounded. A duration shorter than one unit becomes one unit, so that
// no segment can be saved as the "0," end line of a session file.
std::string ParseTime(std::string_view col, int32_t& time) {
  const size_t colon = col.find(':');
  if (colon == std::string_view::npos)
    return "the duration " + Quoted(col) + " has no colon (m:ss).";
  const auto minutes = ParseWhole(col.substr(0, colon));
  if (!minutes) return "the minutes of the duration " + Quoted(col) + " are not a whole number.";
  const auto seconds = ParseDecimal(col.substr(colon + 1));
  if (!seconds) return "the seconds of the duration " + Quoted(col) + " are not a number.";
  const auto units = RoundToField(4.0 * static_cast<double>(*minutes) + *seconds / TimeUnit);
  if (!units) return "the duration " + Quoted(col) + " is too long.";
  time = std::max(*units, int32_t{1});
  return {};
}

std::string ParseFreq(std::string_view col, const char* which, int32_t& freq) {
  const auto value = ParseDecimal(col);
  const auto rounded = value ? RoundToField(*value) : std::nullopt;
  if (!rounded)
    return std::string("the ") + which + " frequency " + Quoted(col) + " is not a number.";
  freq = *rounded;
  return {};
}

// Tone: a note name and an octave digit, optionally followed by one more
// character and "R".
std::string ParseTone(std::string_view col, int32_t& pitch) {
  if (col.empty()) return "the tone column is empty.";
  std::string_view tone = col;
  if (tone.back() == 'R') tone.remove_suffix(std::min<size_t>(2, tone.size()));
  if (tone.empty()) return "the tone " + Quoted(col) + " has no octave digit.";
  const char octave = tone.back();
  if (octave < '0' || octave > '9')
    return "the octave of the tone " + Quoted(col) + " is not a digit.";
  tone.remove_suffix(1);
  const auto base = NoteBaseFreq(tone);
  if (!base) return "the note " + Quoted(tone) + " of the tone " + Quoted(col) + " is unknown.";
  pitch = NotePitch(*base, octave - '0');
  return {};
}

// A segment line packs Time with Mode, and each frequency with the high
// part of Pitch; a segment whose values do not survive that packing would be
// saved as another segment: Time above 31 units, a frequency outside -127
// to 127, or a negative frequency beside a Pitch of 256 or more.
bool Storable(const Segment& seg) {
  return UnpackSegment(PackSegment(seg)) == seg;
}

// Fills seg from one segment line; returns what is wrong, or nothing.
std::string ParseSegmentLine(std::string_view line, Segment& seg) {
  const auto cols = Columns(line);
  if (!cols) return "the line " + Quoted(line) + " has no tab.";
  std::string error = ParseTime((*cols)[1], seg.Time);
  if (error.empty()) error = ParseFreq((*cols)[3], "start", seg.FreqStart);
  if (error.empty()) error = ParseFreq((*cols)[4], "end", seg.FreqEnd);
  if (error.empty()) error = ParseTone((*cols)[7], seg.Pitch);
  seg.Mode = RvxMode((*cols)[9]);
  return error;
}

}  // namespace

std::optional<float> NoteBaseFreq(std::string_view note) {
  struct Note {
    std::string_view Name;
    float Base;
  };
  static constexpr std::array<Note, 12> kNotes = {{{"A", 13.75f},
                                                   {"A#", 14.5675f},
                                                   {"B", 15.434f},
                                                   {"C", 16.3515f},
                                                   {"C#", 17.324f},
                                                   {"D", 18.354f},
                                                   {"D#", 19.4455f},
                                                   {"E", 20.6015f},
                                                   {"F", 21.827f},
                                                   {"F#", 23.1245f},
                                                   {"G", 24.4995f},
                                                   {"G#", 25.9565f}}};
  for (const Note& n : kNotes) {
    if (n.Name == note) return n.Base;
  }
  return std::nullopt;
}

int32_t NotePitch(float base, int octave) {
  float f = base;
  for (int i = 0; i < octave; ++i) f *= 2.0f;
  while (f > 400.0f) f /= 2.0f;
  return static_cast<int32_t>(std::nearbyint(f));
}

std::pair<Segment, Segment> SplitSegmentInHalves(const Segment& seg) {
  Segment first = seg;
  Segment second = seg;
  const int32_t t = seg.Time;
  const auto mid = static_cast<int32_t>(seg.FreqStart + (int64_t{seg.FreqEnd} - seg.FreqStart) / 2);
  second.Time = t / 2;
  second.FreqStart = mid;
  first.Time = t - t / 2;
  first.FreqEnd = mid;
  return {first, second};
}

int32_t RvxMode(std::string_view column) {
  const std::string_view code = column.substr(0, 2);
  if (code == "LR") return 0;
  if (code == "FB") return 2;
  if (code == "CR") return 3;
  if (code == "LA") return 4;
  if (code == "SA") return 5;
  return 1;
}

RvxReadResult ConvertRvxText(std::string_view text) {
  LineReader in(text);
  std::string_view line;
  bool started = false;
  while (!started && in.next(line)) started = line == "START";
  if (!started) return Failure{Fault::Syntax, "The file has no \"START\" line."};
  if (in.atEnd()) return Failure{Fault::Empty, "No segment line follows the \"START\" line."};

  RvxSession result;
  Session& ses = result.Ses;
  int32_t count = 0;
  // The line right after "START" is a segment line whatever it holds.
  in.next(line);
  for (;;) {
    Segment seg;
    if (std::string error = ParseSegmentLine(line, seg); !error.empty()) {
      return Failure{Fault::Syntax, "Line " + std::to_string(in.lineNo()) + ": " + error};
    }
    const int32_t firstOfLine = count + 1;
    ses[++count] = seg;
    if (seg.Time > kMaxSegTime) {
      // Split once: the second half follows, the frequency sweep is cut at
      // its midpoint. At the segment limit the second half is lost with the
      // truncation.
      const auto [first, second] = SplitSegmentInHalves(ses[count]);
      ses[count] = first;
      if (count < MaxSegCount) ses[++count] = second;
    }
    for (int32_t k = firstOfLine; k <= count; ++k) {
      if (Storable(ses[k])) continue;
      return Failure{Fault::OutOfRange,
                     "Line " + std::to_string(in.lineNo()) +
                         ": its values cannot be stored in a session file (a duration above "
                         "15:30, a frequency outside -127 to 127, or a frequency below 0 with a "
                         "pitch of 256 or more)."};
    }
    if (count >= MaxSegCount) {
      result.Truncated = true;
      break;
    }
    // The last line of the file ends the segments without being imported.
    if (!in.next(line) || line == "END" || in.atEnd()) break;
  }
  ses.SegCount = count;
  return result;
}

RvxImportOutcome ImportRvxFile(Session& ses, const std::string& path) {
  const FileFormat* format = FileFormatOf(path);
  if (!format || format->Role != FormatRole::Legacy)
    return Failure{Fault::Unsupported, kUnsupportedSessionFormat};
  const FileBytes file = ReadFileBytes(path, kMaxTextFileBytes);
  if (!file) return file.Failed();
  const RvxReadResult read = ConvertRvxText(*file);
  if (!read) return read.Failed();
  ses = read->Ses;
  RvxImport out;
  out.Name = SesNameFromFileName(path);
  out.Merged = SesOptimize(ses).Removed > 0;
  if (read->Truncated) out.Warning = kRvxTruncated;
  return out;
}

std::string RvxImportHeadline(const Failure& failure) {
  return failure.Kind == Fault::Unsupported ? failure.Text : kRvxImportFailed;
}

std::string RvxImportDetail(const Failure& failure) {
  return failure.Kind == Fault::Unsupported ? std::string() : failure.Text;
}

}  // namespace ovrel
