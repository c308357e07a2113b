#include "format/SbgFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "fileio/FileBytes.h"

namespace ovrel {

namespace {

constexpr double kDay = 24 * 3600;
constexpr size_t kMaxNameLength = 64;
constexpr double kDefaultFadeMs = 60000;  // the players' cross-fade between tone-sets

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_' || c == '-';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string Quoted(std::string_view s) {
  return "\"" + Excerpt(s) + "\"";
}

// A finite decimal number at the front of s (no sign unless allowSign);
// s is advanced past it.
std::optional<double> TakeNumber(std::string_view& s) {
  double v = 0;
  if (s.empty() || !(IsDigit(s.front()) || s.front() == '.')) return std::nullopt;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || !std::isfinite(v) || v > 1e9) return std::nullopt;
  s.remove_prefix(static_cast<size_t>(end - s.data()));
  return v;
}

struct Voice {
  int32_t Beat = 0;
  int32_t Pitch = 0;
};

struct ToneSet {
  int LineNo = 0;
  bool Block = false;
  std::optional<Voice> Binaural;  // the first audible binaural tone
};

struct TimeLine {
  int LineNo = 0;
  double Seconds = 0;
  std::string Name;
  bool Slide = false;
};

// What one tone of a tone-set is; fills voice for a binaural tone with its
// carrier, beat and amplitude. Returns nothing for a token that is no tone.
std::optional<std::string> ToneKind(std::string_view tok, double& carrier, double& beat,
                                    double& amp) {
  amp = 1;
  const auto amplitude = [&](std::string_view rest) -> bool {
    if (rest.empty()) return true;
    if (rest.front() != '/') return false;
    rest.remove_prefix(1);
    const auto a = TakeNumber(rest);
    if (!a || !rest.empty()) return false;
    amp = *a;
    return true;
  };
  if (tok == "-") return std::string("silence");
  for (const char* noise : {"pink", "white", "brown"}) {
    if (tok.starts_with(noise))
      return amplitude(tok.substr(std::string_view(noise).size()))
                 ? std::optional<std::string>(std::string(noise) + " noise")
                 : std::nullopt;
  }
  if (tok.starts_with("mix"))
    return amplitude(tok.substr(3)) ? std::optional<std::string>("the mix input") : std::nullopt;
  if (tok.starts_with("bell")) {
    std::string_view rest = tok.substr(4);
    if (!TakeNumber(rest) || !amplitude(rest)) return std::nullopt;
    return std::string("a bell");
  }
  std::string_view rest = tok;
  std::string kind = "binaural";
  if (tok.starts_with("spin:")) {
    rest.remove_prefix(5);
    kind = "spinning noise";
  } else if (tok.starts_with("wave") && tok.size() > 7 && IsDigit(tok[4]) && IsDigit(tok[5]) &&
             tok[6] == ':') {
    rest.remove_prefix(7);
    kind = "a waveform tone";
  }
  const auto c = TakeNumber(rest);
  if (!c) return std::nullopt;
  carrier = *c;
  beat = 0;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-' || rest.front() == '@')) {
    const char sign = rest.front();
    rest.remove_prefix(1);
    const auto b = TakeNumber(rest);
    if (!b) return std::nullopt;
    beat = sign == '-' ? -*b : *b;
    if (sign == '@') kind = kind == "binaural" ? "an isochronic tone" : kind;
  } else if (kind == "binaural") {
    kind = "a plain tone";
  }
  if (!amplitude(rest)) return std::nullopt;
  return kind;
}

// A time "hh:mm" or "hh:mm:ss[.f]" at the front of s, in seconds.
std::optional<double> TakeClock(std::string_view& s) {
  const auto whole = [&](int maxDigits) -> std::optional<double> {
    int n = 0;
    double v = 0;
    while (!s.empty() && IsDigit(s.front())) {
      if (++n > maxDigits) return std::nullopt;
      v = v * 10 + (s.front() - '0');
      s.remove_prefix(1);
    }
    if (n == 0) return std::nullopt;
    return v;
  };
  const auto h = whole(4);
  if (!h || s.empty() || s.front() != ':') return std::nullopt;
  s.remove_prefix(1);
  const auto m = whole(2);
  if (!m || *m >= 60) return std::nullopt;
  double sec = 0;
  if (!s.empty() && s.front() == ':') {
    s.remove_prefix(1);
    const auto v = TakeNumber(s);
    if (!v || *v >= 60) return std::nullopt;
    sec = *v;
  }
  return *h * 3600 + *m * 60 + sec;
}

class SbgReader {
 public:
  explicit SbgReader(std::string_view text) : text_(text) {}

  ExchangeRead Read() {
    ExchangeRead fail;
    size_t pos = 0;
    int lineNo = 0;
    while (pos < text_.size()) {
      const size_t nl = text_.find('\n', pos);
      std::string_view line = text_.substr(pos, nl == std::string_view::npos ? nl : nl - pos);
      pos = nl == std::string_view::npos ? text_.size() : nl + 1;
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > kMaxSbgLineLength) {
        fail.Error = "Line " + std::to_string(lineNo) + " is longer than " +
                     std::to_string(kMaxSbgLineLength) + " characters.";
        return fail;
      }
      if (std::string error = ReadLine(line, lineNo); !error.empty()) {
        fail.Error = "Line " + std::to_string(lineNo) + ": " + error;
        return fail;
      }
    }
    if (inBlock_) {
      fail.Error =
          "The block that begins on line " + std::to_string(blockLine_) + " has no closing \"}\".";
      return fail;
    }
    return Convert();
  }

 private:
  std::string ReadLine(std::string_view line, int lineNo) {
    if (const size_t hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    line = Trim(line);
    if (line.empty()) return {};
    if (inBlock_) {
      if (line == "}") inBlock_ = false;
      return {};
    }
    if (line.front() == '-' && !begun_) return ReadOptions(line);
    begun_ = true;
    if (line.starts_with("NOW") || IsDigit(line.front()) || line.front() == '+')
      return ReadTimeLine(line, lineNo);
    size_t n = 0;
    while (n < line.size() && IsNameChar(line[n])) ++n;
    if (n > 0 && n < line.size() && line[n] == ':') return ReadDefinition(line, n, lineNo);
    return "\"" + Excerpt(line) + "\" is neither a tone-set, a time line nor a comment.";
  }

  std::string ReadOptions(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
      size_t n = 0;
      while (n < line.size() && !IsSpace(line[n])) ++n;
      words.push_back(line.substr(0, n));
      line = Trim(line.substr(n));
    }
    for (size_t w = 0; w < words.size(); ++w) {
      if (!words[w].starts_with("-")) return "the option line holds " + Quoted(words[w]) + ".";
      for (const char opt : words[w].substr(1)) {
        if (opt == 'p' || opt == 'i')
          return "the file asks for a built-in program (-" + std::string(1, opt) +
                 "), which cannot be imported.";
        if (opt == 'E') endAtLast_ = true;
        if (opt == 'F' || opt == 'L' || opt == 'T' || opt == 'm' || opt == 'q' || opt == 'r') {
          if (++w >= words.size()) return "the option -" + std::string(1, opt) + " has no value.";
          if (opt == 'F') {
            std::string_view v = words[w];
            const auto ms = TakeNumber(v);
            if (!ms || !v.empty()) return "the fade time " + Quoted(words[w]) + " is no number.";
            fadeMs_ = *ms;
          }
          break;
        }
      }
    }
    return {};
  }

  std::string ReadDefinition(std::string_view line, size_t nameLength, int lineNo) {
    const std::string name(line.substr(0, nameLength));
    if (name.size() > kMaxNameLength) return "the name " + Quoted(name) + " is too long.";
    std::string_view body = line.substr(nameLength + 1);
    if (!body.empty() && !IsSpace(body.front()))
      return "a space must follow \"" + Excerpt(name) + ":\".";
    body = Trim(body);
    const std::string origin = "line " + std::to_string(lineNo);
    // A waveform shape ("wave00: 0 3 5 ..."), used by waveform tones.
    if (name.size() == 6 && name.starts_with("wave") && IsDigit(name[4]) && IsDigit(name[5]))
      return {};
    if (toneSets_.count(name)) return "the name " + Quoted(name) + " is defined twice.";
    ToneSet set;
    set.LineNo = lineNo;
    if (body == "{") {
      set.Block = true;
      inBlock_ = true;
      blockLine_ = lineNo;
      toneSets_[name] = set;
      return {};
    }
    if (body.empty()) return "the tone-set " + Quoted(name) + " holds no tone.";
    while (!body.empty()) {
      size_t n = 0;
      while (n < body.size() && !IsSpace(body[n])) ++n;
      const std::string_view tok = body.substr(0, n);
      body = Trim(body.substr(n));
      double carrier = 0, beat = 0, amp = 1;
      const auto kind = ToneKind(tok, carrier, beat, amp);
      if (!kind) return Quoted(tok) + " is not a tone.";
      if (*kind == "silence") continue;
      if (*kind == "binaural" && amp > 0 && !set.Binaural) {
        set.Binaural =
            Voice{TakeBeat(beat, origin, changes_), TakePitch(carrier, origin, changes_)};
        anyBinaural_ = true;
        continue;
      }
      changes_.Add(origin + ": " +
                   (*kind == "binaural" ? std::string("a further binaural tone") : *kind) + " (" +
                   Excerpt(tok) + ") is not taken over.");
    }
    toneSets_[name] = set;
    return {};
  }

  std::string ReadTimeLine(std::string_view line, int lineNo) {
    std::string_view s = line;
    char type = 0;
    double abs = 0;
    if (s.starts_with("NOW")) {
      type = 'N';
      s.remove_prefix(3);
    } else if (IsDigit(s.front())) {
      const auto t = TakeClock(s);
      if (!t) return "the time in " + Quoted(line) + " is not hh:mm or hh:mm:ss.";
      type = 'T';
      abs = *t;
    }
    double rel = 0;
    while (!s.empty() && s.front() == '+') {
      s.remove_prefix(1);
      const auto t = TakeClock(s);
      if (!t) return "the time in " + Quoted(line) + " is not +hh:mm or +hh:mm:ss.";
      rel += *t;
    }
    if (s.empty() || !IsSpace(s.front())) return "the time line " + Quoted(line) + " has no name.";
    s = Trim(s);
    if (type != 0) {
      if (timeType_ != 0 && timeType_ != type)
        return "the file mixes NOW and clock times, so their order is not known.";
      timeType_ = type;
      if (type == 'T') {
        base_ = abs + dayOffset_;
        if (!lines_.empty() && base_ + rel < lines_.back().Seconds) {
          dayOffset_ += kDay;  // a clock time past midnight
          base_ += kDay;
        }
      } else {
        base_ = 0;
      }
    } else if (timeType_ == 0) {
      return "a relative time comes before any NOW or clock time.";
    }
    // A fade ("<>", "--", "==", ...) before the name.
    if (s.size() >= 2 && (s[0] == '<' || s[0] == '-' || s[0] == '=') &&
        (s[1] == '>' || s[1] == '-' || s[1] == '='))
      s = Trim(s.substr(2));
    size_t n = 0;
    while (n < s.size() && IsNameChar(s[n])) ++n;
    if (n == 0) return "the time line " + Quoted(line) + " has no name.";
    TimeLine tl;
    tl.LineNo = lineNo;
    tl.Seconds = base_ + rel;
    tl.Name = std::string(s.substr(0, n));
    s = Trim(s.substr(n));
    if (s.starts_with("->")) {
      tl.Slide = true;
      s = Trim(s.substr(2));
    }
    if (!s.empty()) return "the time line ends in " + Quoted(s) + ".";
    if (!lines_.empty() && tl.Seconds < lines_.back().Seconds)
      return "the time " + ClockText(tl.Seconds) + " comes before the previous line's.";
    lines_.push_back(tl);
    return {};
  }

  ExchangeRead Convert() {
    ExchangeRead fail;
    if (!anyBinaural_) {
      fail.Error =
          "The file has no binaural tone (such as 200+10/50), so there is nothing "
          "the device can play.";
      return fail;
    }
    if (lines_.empty()) {
      fail.Error = "The file has no time lines.";
      return fail;
    }
    for (const TimeLine& tl : lines_) {
      if (!toneSets_.count(tl.Name)) {
        fail.Error = "Line " + std::to_string(tl.LineNo) + ": the tone-set " + Quoted(tl.Name) +
                     " is not defined.";
        return fail;
      }
    }
    std::vector<CourseSpan> spans;
    for (size_t i = 0; i + 1 < lines_.size(); ++i) {
      const TimeLine& tl = lines_[i];
      const TimeLine& next = lines_[i + 1];
      const std::string origin = "line " + std::to_string(tl.LineNo);
      const double seconds = next.Seconds - tl.Seconds;
      if (seconds <= 0) continue;
      const ToneSet& set = toneSets_.at(tl.Name);
      if (set.Block) {
        changes_.Add(origin + ": the block " + Quoted(tl.Name) + " is not taken over; its " +
                     ClockText(seconds) + " are left out.");
        continue;
      }
      if (!set.Binaural) {
        changes_.Add(origin + ": " + ClockText(seconds) + " of " + Quoted(tl.Name) +
                     ", which has no binaural tone, are left out.");
        continue;
      }
      Voice end = *set.Binaural;
      const ToneSet& nextSet = toneSets_.at(next.Name);
      if (tl.Slide && nextSet.Binaural) {
        end = *nextSet.Binaural;
      } else if (!tl.Slide && fadeMs_ > 0 && nextSet.Binaural &&
                 (nextSet.Binaural->Beat != set.Binaural->Beat ||
                  nextSet.Binaural->Pitch != set.Binaural->Pitch)) {
        changes_.Add(origin + ": the fade into line " + std::to_string(next.LineNo) +
                     " becomes a step at its time.");
      }
      spans.push_back(
          {seconds, set.Binaural->Beat, end.Beat, set.Binaural->Pitch, end.Pitch, origin});
    }
    const TimeLine& last = lines_.back();
    if (!endAtLast_) {
      const ToneSet& set = toneSets_.at(last.Name);
      if (set.Block || set.Binaural)
        changes_.Add("line " + std::to_string(last.LineNo) + ": the last time line's " +
                     Quoted(last.Name) + " plays on with no end; the session ends there.");
    }
    return SpansToSession(spans, changes_);
  }

  std::string_view text_;
  ChangeList changes_;
  std::map<std::string, ToneSet> toneSets_;
  std::vector<TimeLine> lines_;
  bool begun_ = false;  // a tone-set or time line was read: options are over
  bool inBlock_ = false;
  int blockLine_ = 0;
  bool anyBinaural_ = false;
  bool endAtLast_ = false;
  double fadeMs_ = kDefaultFadeMs;
  char timeType_ = 0;  // 'N' NOW-based, 'T' clock times
  double base_ = 0;    // the last NOW or clock time, in seconds
  double dayOffset_ = 0;
};

// "+hh:mm:ss" from NOW.
std::string Offset(int64_t seconds) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "+%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return buf;
}

// Text for a comment line: control characters become spaces.
std::string CommentText(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return s;
}

}  // namespace

ExchangeRead ReadSbgText(std::string_view text) {
  return SbgReader(text).Read();
}

std::string SbgText(const Session& ses, const std::string& sesName, const std::string& producer) {
  std::string out;
  for (const std::string& line : ExportDescription(sesName, producer))
    out += "## " + CommentText(line) + "\n";
  out += "-SE -F 0\n\n";
  const std::vector<ExportPoint> points = ExportPoints(ses);
  for (size_t i = 0; i < points.size(); ++i)
    out += "p" + std::to_string(i + 1) + ": " + std::to_string(points[i].Pitch) + "+" +
           std::to_string(points[i].Freq) + "/50\n";
  out += "off: -\n\n";
  for (size_t i = 0; i < points.size(); ++i) {
    out += (i == 0 ? std::string("NOW") : Offset(points[i].Seconds)) + " p" +
           std::to_string(i + 1) + (points[i].Slide ? " ->" : "") + "\n";
  }
  out += Offset(points.back().Seconds) + " off\n";
  return out;
}

}  // namespace ovrel
