#include "format/SessionFile.h"

#include <charconv>
#include <limits>

#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"

namespace ovrel {

namespace {

const char* const kCrLf = "\r\n";
const std::string_view kVersionLine = "version=23";

int32_t Narrow(int64_t v) {
  return static_cast<int32_t>(v);
}

bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

// Hands out the lines of a text one by one, with their 1-based numbers.
// A line ends at LF; a CR before the LF is not part of the line.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) {
      ++lineNo_;  // errors at the end name the line after the last one
      return false;
    }
    size_t end = text_.find('\n', pos_);
    const size_t stop = end == std::string_view::npos ? text_.size() : end;
    line = text_.substr(pos_, stop - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end == std::string_view::npos ? text_.size() : end + 1;
    ++lineNo_;
    return true;
  }
  int lineNo() const { return lineNo_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int lineNo_ = 0;
};

// Takes the first N comma-terminated numbers of a line. Returns an empty
// text on success, else what is wrong.
template <std::size_t N>
std::string ParseFields(std::string_view line, std::string_view lineKind,
                        std::array<int32_t, N>& out) {
  static const char* const kCount[] = {"", "one", "two", "three", "four", "five"};
  size_t pos = 0;
  for (size_t i = 0; i < N; ++i) {
    const size_t comma = line.find(',', pos);
    if (comma == std::string_view::npos)
      return std::string(lineKind) + " has " + std::to_string(i) +
             " comma-terminated numbers where " + kCount[N] + " are needed";
    const std::string_view field = line.substr(pos, comma - pos);
    const std::string shown = "field " + std::to_string(i + 1) + " (\"" + Excerpt(field) + "\")";
    // from_chars takes an optional minus and decimal digits, nothing else.
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), out[i]);
    if (ec == std::errc::result_out_of_range && end == field.data() + field.size())
      return shown + " does not fit a 32-bit integer";
    if (ec != std::errc() || end != field.data() + field.size())
      return shown + " is not a decimal integer";
    pos = comma + 1;
  }
  return {};
}

}  // namespace

PackedSegment PackSegment(const Segment& seg) {
  const int64_t pitch = seg.Pitch;
  return {Narrow(seg.Time + int64_t{32} * seg.Mode), Narrow(seg.FreqStart + 128 * (pitch / 256)),
          Narrow(seg.FreqEnd + 128 * (pitch / 256)), Narrow(pitch % 256), Narrow(pitch % 256)};
}

Segment UnpackSegment(const PackedSegment& p) {
  // C++ division truncates towards zero and % takes the dividend's sign.
  Segment s;
  s.Time = p.TimeModeByte % 32;
  s.Mode = p.TimeModeByte / 32;
  s.FreqStart = p.FreqStartByte % 128;
  s.FreqEnd = p.FreqEndByte % 128;
  s.Pitch = Narrow(256 * int64_t{p.FreqStartByte / 128} + p.PitchLowByte);
  return s;
}

std::string TotalTimeLine(const Session& ses) {
  int64_t units = 0;
  for (int32_t k = 1; k <= ses.SegCount; ++k) units += ses[k].Time;
  const int64_t t = units * TimeUnit;
  return std::to_string(t / 60) + "," + std::to_string(t % 60) + ",";
}

std::string PackedSegmentLine(const PackedSegment& p) {
  std::string line;
  for (int32_t v :
       {p.TimeModeByte, p.FreqStartByte, p.FreqEndByte, p.PitchLowByte, p.Pitch2LowByte})
    line += std::to_string(v) + ",";
  return line;
}

std::string PackedSegmentLine(const Segment& seg) {
  return PackedSegmentLine(PackSegment(seg));
}

std::string SessionLinesText(const std::array<int32_t, 2>& totalTime,
                             const std::vector<PackedSegment>& segments) {
  std::string out;
  auto line = [&out](std::string_view s) {
    out += s;
    out += kCrLf;
  };
  line(kRuleLine);
  line("# Sorvani Pro Session File");
  line(kRuleLine);
  line(kVersionLine);
  line(kRuleLine);
  line(std::to_string(totalTime[0]) + "," + std::to_string(totalTime[1]) + ",");
  for (const PackedSegment& segment : segments) line(PackedSegmentLine(segment));
  line("0,");
  line(kRuleLine);
  return out;
}

std::string SessionFileText(const Session& ses) {
  int64_t units = 0;
  std::vector<PackedSegment> segments;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    units += ses[k].Time;
    segments.push_back(PackSegment(ses[k]));
  }
  const int64_t seconds = units * TimeUnit;
  return SessionLinesText({Narrow(seconds / 60), Narrow(seconds % 60)}, segments);
}

SessionLinesRead ReadSessionLines(std::string_view text, const std::string& sourceName) {
  LineReader in(text);
  auto fail = [&](const std::string& what, Fault kind = Fault::Syntax) {
    return Failure{kind, sourceName + ", line " + std::to_string(in.lineNo()) + ": " + what};
  };
  const std::string endsEarly = "the file ends before its \"0,\" line";

  std::string_view line;
  // Everything before the version line is skipped.
  bool found = false;
  while (in.next(line)) {
    if (line == kVersionLine) {
      found = true;
      break;
    }
  }
  if (!found) return fail("the file has no \"version=23\" line");

  // Comment lines (the rule line among them) lead to the total time line.
  do {
    if (!in.next(line)) return fail("the file ends before its total time line");
  } while (StartsWith(line, "#"));
  SessionLines out;
  if (std::string what = ParseFields(line, "the total time line", out.TotalTime); !what.empty())
    out.TotalTimeError = fail(what).Text;

  if (!in.next(line)) return fail(endsEarly);
  while (true) {
    while (StartsWith(line, "#"))
      if (!in.next(line)) return fail(endsEarly);
    if (StartsWith(line, "0,")) break;
    if (line.empty()) return fail("empty line where a segment line is expected");
    if (out.Segments.size() >= static_cast<size_t>(MaxSegCount))
      return fail("more than " + std::to_string(MaxSegCount) + " segment lines", Fault::TooMany);
    std::array<int32_t, 5> f{};
    if (std::string what = ParseFields(line, "the segment line", f); !what.empty())
      return fail(what);
    if ((f[0] & 0xFF) == 0)
      return fail(
          "the first number is 0 in its low 8 bits, which the device reads as the end of the "
          "session");
    const int64_t pitch = 256 * int64_t{f[1] / 128} + f[3];
    if (pitch < std::numeric_limits<int32_t>::min() || pitch > std::numeric_limits<int32_t>::max())
      return fail("the pitch of fields 2 and 4 does not fit a 32-bit integer", Fault::OutOfRange);
    out.Segments.push_back({f[0], f[1], f[2], f[3], f[4]});
    if (!in.next(line)) return fail(endsEarly);
  }
  out.EndLineNo = in.lineNo();
  return out;
}

SessionLinesRead ReadSessionLinesFile(const std::string& path) {
  const FileBytes file = ReadFileBytes(path, kMaxTextFileBytes);
  if (!file) return file.Failed();
  return ReadSessionLines(*file, path);
}

namespace {

SessionReadResult SessionForEditor(SessionLinesRead read, const std::string& sourceName) {
  if (!read) return read.Failed();
  if (read->Segments.empty())
    return Failure{Fault::Empty, sourceName + ", line " + std::to_string(read->EndLineNo) +
                                     ": the session has no segment line"};
  Session ses;
  ses.SegCount = 0;
  for (const PackedSegment& p : read->Segments) ses[++ses.SegCount] = UnpackSegment(p);
  return ses;
}

}  // namespace

SessionReadResult ReadSessionText(std::string_view text, const std::string& sourceName) {
  return SessionForEditor(ReadSessionLines(text, sourceName), sourceName);
}

SessionReadResult ReadSessionFile(const std::string& path) {
  return SessionForEditor(ReadSessionLinesFile(path), path);
}

SaveResult SaveSession(const Session& ses, const std::string& fileName) {
  if (fileName.empty())
    return Failure{Fault::CannotWrite, "Cannot write a session without a file name"};
  return WriteFileAtomically(fileName, SessionFileText(ses));
}

}  // namespace ovrel
