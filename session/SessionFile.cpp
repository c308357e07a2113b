#include "session/SessionFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "session/AtomicFile.h"

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
    if (!line.empty() && line.back() == '\r' && end != std::string_view::npos)
      line.remove_suffix(1);
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

// Takes the five comma-terminated decimal numbers at the start of a line.
// Returns an empty text on success, else what is wrong.
std::string ParseFields(std::string_view line, std::array<int32_t, 5>& out) {
  size_t pos = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t comma = line.find(',', pos);
    if (comma == std::string_view::npos)
      return "the segment line has " + std::to_string(i) +
             " comma-terminated numbers where five are needed";
    std::string_view field = line.substr(pos, comma - pos);
    const std::string shown =
        "field " + std::to_string(i + 1) + " (\"" + std::string(field) + "\")";
    std::string_view digits = field;
    if (StartsWith(digits, "+")) digits.remove_prefix(1);
    if (digits.empty() || (digits.front() == '-' && field.front() == '+'))
      return shown + " is not a decimal integer";
    int32_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc::result_out_of_range) return shown + " does not fit a 32-bit integer";
    if (ec != std::errc() || end != digits.data() + digits.size())
      return shown + " is not a decimal integer";
    out[i] = value;
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

std::string PackedSegmentLine(const Segment& seg) {
  const PackedSegment p = PackSegment(seg);
  std::string line;
  for (int32_t v :
       {p.TimeModeByte, p.FreqStartByte, p.FreqEndByte, p.PitchLowByte, p.Pitch2LowByte})
    line += std::to_string(v) + ",";
  return line;
}

std::string SessionFileText(const Session& ses) {
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
  line(TotalTimeLine(ses));
  for (int32_t k = 1; k <= ses.SegCount; ++k) line(PackedSegmentLine(ses[k]));
  line("0,");
  line(kRuleLine);
  return out;
}

SessionReadResult ReadSessionText(std::string_view text, const std::string& sourceName) {
  LineReader in(text);
  auto fail = [&](const std::string& what) {
    return SessionReadResult{std::nullopt,
                             sourceName + ", line " + std::to_string(in.lineNo()) + ": " + what};
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

  // The rule line after the version and any further "#" lines, then the
  // total time line, which is not read: the times follow from the segments.
  if (!in.next(line)) return fail(endsEarly);
  while (StartsWith(line, "#"))
    if (!in.next(line)) return fail(endsEarly);
  if (!in.next(line)) return fail(endsEarly);

  Session ses;
  int32_t j = 0;
  while (true) {
    while (StartsWith(line, "#"))
      if (!in.next(line)) return fail(endsEarly);
    if (StartsWith(line, "0,")) break;
    if (line.empty()) return fail("empty line where a segment line is expected");
    if (j >= MaxSegCount)
      return fail("more than " + std::to_string(MaxSegCount) + " segment lines");
    std::array<int32_t, 5> f{};
    if (std::string what = ParseFields(line, f); !what.empty()) return fail(what);
    // "00," or "+0," would be written back as "0,", the end of the session.
    if (f[0] == 0) return fail("the first number is 0, which would end the session when saved");
    const int64_t pitch = 256 * int64_t{f[1] / 128} + f[3];
    if (pitch < std::numeric_limits<int32_t>::min() || pitch > std::numeric_limits<int32_t>::max())
      return fail("the pitch of fields 2 and 4 does not fit a 32-bit integer");
    ++j;
    ses[j] = UnpackSegment({f[0], f[1], f[2], f[3], f[4]});
    if (!in.next(line)) return fail(endsEarly);
  }
  if (j == 0) return fail("the session has no segment line");
  ses.SegCount = j;
  return {ses, {}};
}

SessionReadResult ReadSessionFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    return {std::nullopt, "Cannot read " + path + ": " + std::strerror(EISDIR)};
  errno = 0;
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    const int err = errno ? errno : ENOENT;
    return {std::nullopt, "Cannot read " + path + ": " + std::strerror(err)};
  }
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) return {std::nullopt, "Cannot read " + path + ": input/output error"};
  return ReadSessionText(text, path);
}

SaveResult SaveProc(SessionEditState& st) {
  if (st.SesFileName.empty()) return {false, "Cannot write a session without a file name"};
  FileWriteResult w = writeFileAtomically(st.SesFileName, SessionFileText(st.Ses));
  if (!w) return {false, w.error};
  st.SesModified = false;
  return {true, {}};
}

}  // namespace ovrel
