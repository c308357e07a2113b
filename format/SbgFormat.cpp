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
  return QuotedInput(s);
}

// A finite decimal number at the front of s (no sign); s is advanced past it.
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

// A time line: its time, the tone-set it names and whether it slides into
// the next line's tone-set.
struct TimeLine {
  int LineNo = 0;
  double Seconds = 0;
  std::string Name;
  bool Slide = false;
};

struct ToneSet {
  int LineNo = 0;
  bool Block = false;
  std::vector<TimeLine> BlockLines;  // a block's lines, their times from its start
  std::optional<Voice> Binaural;     // the first audible binaural tone
};

// One tone of a tone-set as the documented syntax writes it.
struct Tone {
  std::string Kind;  // "binaural", or what is not taken over ("pink noise", "a bell", ...)
  double Carrier = 0;
  double Beat = 0;
  double Amp = 1;
};

// "/amplitude" or nothing, all of rest.
bool TakeAmplitude(std::string_view rest, Tone& tone) {
  if (rest.empty()) return true;
  if (rest.front() != '/') return false;
  rest.remove_prefix(1);
  const auto a = TakeNumber(rest);
  if (!a || !rest.empty()) return false;
  tone.Amp = *a;
  return true;
}

// "carrier", "carrier+beat", "carrier-beat" or "carrier@beat" and an
// amplitude, all of rest.
bool TakeCarrierAndBeat(std::string_view rest, Tone& tone) {
  const auto c = TakeNumber(rest);
  if (!c) return false;
  tone.Carrier = *c;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-' || rest.front() == '@')) {
    const char sign = rest.front();
    rest.remove_prefix(1);
    const auto b = TakeNumber(rest);
    if (!b) return false;
    tone.Beat = sign == '-' ? -*b : *b;
    if (sign == '@' && tone.Kind == "binaural") tone.Kind = "an isochronic tone";
  } else if (tone.Kind == "binaural") {
    tone.Kind = "a plain tone";
  }
  return TakeAmplitude(rest, tone);
}

// The tone a token of a tone-set writes; nothing for a token the documented
// syntax does not define.
std::optional<Tone> ReadTone(std::string_view tok) {
  Tone tone;
  if (tok == "-") {
    tone.Kind = "silence";
    return tone;
  }
  for (const char* noise : {"pink", "white", "brown"}) {
    if (!tok.starts_with(noise)) continue;
    tone.Kind = std::string(noise) + " noise";
    return TakeAmplitude(tok.substr(std::string_view(noise).size()), tone)
               ? std::optional<Tone>(tone)
               : std::nullopt;
  }
  if (tok.starts_with("mix")) {
    tone.Kind = "the mix input";
    return TakeAmplitude(tok.substr(3), tone) ? std::optional<Tone>(tone) : std::nullopt;
  }
  std::string_view rest = tok;
  tone.Kind = "binaural";
  if (tok.starts_with("bell")) {
    // "bell600/20" or "bell+600/20"
    rest.remove_prefix(tok.size() > 4 && tok[4] == '+' ? 5 : 4);
    tone.Kind = "a bell";
    const auto c = TakeNumber(rest);
    return c && TakeAmplitude(rest, tone) ? std::optional<Tone>(tone) : std::nullopt;
  }
  if (tok.starts_with("spin:")) {
    rest.remove_prefix(5);
    tone.Kind = "spinning noise";
  } else if (tok.starts_with("wave") && tok.size() > 7 && IsDigit(tok[4]) && IsDigit(tok[5]) &&
             tok[6] == ':') {
    rest.remove_prefix(7);
    tone.Kind = "a waveform tone";
  }
  return TakeCarrierAndBeat(rest, tone) ? std::optional<Tone>(tone) : std::nullopt;
}

// Why a token is not read: the part of it that the documented syntax does
// not define ("iso:", "e=") and what the syntax has instead.
std::string NotUnderstood(std::string_view tok) {
  size_t n = 0;
  while (n < tok.size() && (IsNameChar(tok[n]) && !IsDigit(tok[n]))) ++n;
  std::string part(tok);
  if (n > 0 && n < tok.size() && (tok[n] == ':' || tok[n] == '=')) part = tok.substr(0, n + 1);
  return Quoted(part) + (part.size() < tok.size() ? " in " + Quoted(tok) : std::string()) +
         " is not understood: the .sbg syntax knows carrier+beat/amplitude, pink, white, brown, "
         "mix, bell, spin: and waveNN: tones (later programs' additions are not read).";
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

// The options with a value, and what the import does without them.
struct OptionInfo {
  char Letter;
  bool HasValue;
};
constexpr OptionInfo kOptions[] = {{'F', true}, {'L', true}, {'T', true}, {'m', true},
                                   {'q', true}, {'r', true}, {'o', true}, {'b', true},
                                   {'R', true}, {'c', true}, {'w', true}};

bool OptionHasValue(char opt) {
  for (const OptionInfo& o : kOptions)
    if (o.Letter == opt) return o.HasValue;
  return false;
}

// The words of a line, split at spaces and tabs.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  line = Trim(line);
  while (!line.empty()) {
    size_t n = 0;
    while (n < line.size() && !IsSpace(line[n])) ++n;
    words.push_back(line.substr(0, n));
    line = Trim(line.substr(n));
  }
  return words;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class SbgReader {
 public:
  SbgReader(std::string_view text, const ImportOptions& options)
      : text_(text), openEndSeconds_(60.0 * options.OpenEndMinutes) {}

  ExchangeRead Read() {
    if (const Result<void> parsed = Parse(); !parsed) return parsed.Failed();
    if (const Result<void> convertible = Unconvertible(); !convertible) return convertible.Failed();
    return Convert();
  }

  // Whether the schedule reads and its last time line plays on with no
  // end, which the import gives the open end's length.
  bool EndsOpen() {
    if (!Parse() || !Unconvertible()) return false;
    return PlaysOn(Expanded().back());
  }

 private:
  // Reads every line: what is wrong and where, if anything.
  Result<void> Parse() {
    size_t pos = text_.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    int lineNo = 0;
    while (pos < text_.size()) {
      const size_t nl = text_.find('\n', pos);
      std::string_view line = text_.substr(pos, nl == std::string_view::npos ? nl : nl - pos);
      pos = nl == std::string_view::npos ? text_.size() : nl + 1;
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > kMaxSbgLineLength) {
        return Failure{Fault::Syntax, "Line " + std::to_string(lineNo) + " is longer than " +
                                          std::to_string(kMaxSbgLineLength) + " characters."};
      }
      if (std::string error = ReadLine(line, lineNo); !error.empty()) {
        return Failure{Fault::Syntax, "Line " + std::to_string(lineNo) + ": " + error};
      }
    }
    if (block_) {
      return Failure{Fault::Syntax, "The block that begins on line " +
                                        std::to_string(block_->LineNo) + " has no closing \"}\"."};
    }
    return {};
  }

  std::string ReadLine(std::string_view line, int lineNo) {
    if (const size_t hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    line = Trim(line);
    if (line.empty()) return {};
    if (block_) return ReadBlockLine(line, lineNo);
    if (line.front() == '-' && !begun_) return ReadOptions(line, lineNo);
    begun_ = true;
    if (line.starts_with("NOW") || IsDigit(line.front()) || line.front() == '+')
      return ReadTimeLine(line, lineNo);
    size_t n = 0;
    while (n < line.size() && IsNameChar(line[n])) ++n;
    if (n > 0 && n < line.size() && line[n] == ':') return ReadDefinition(line, n, lineNo);
    return Quoted(line) + " is neither a tone-set, a time line nor a comment.";
  }

  std::string ReadOptions(std::string_view line, int lineNo) {
    const std::vector<std::string_view> words = Words(line);
    for (size_t w = 0; w < words.size(); ++w) {
      if (!words[w].starts_with("-")) return "the option line holds " + Quoted(words[w]) + ".";
      std::string dropped;
      for (const char opt : words[w].substr(1)) {
        if (opt == 'p' || opt == 'i')
          return "the file asks for a built-in program (-" + std::string(1, opt) +
                 "), which cannot be imported.";
        if (opt == 'E') endAtLast_ = true;
        if (opt == 'S' || opt == 'E') continue;  // the session starts at the first line anyway
        std::string text = "-" + std::string(1, opt);
        if (OptionHasValue(opt)) {
          if (++w >= words.size()) return "the option " + text + " has no value.";
          text += " " + std::string(words[w]);
          if (opt == 'F') {
            std::string_view v = words[w];
            const auto ms = TakeNumber(v);
            if (!ms || !v.empty()) return "the fade time " + Quoted(words[w]) + " is no number.";
            fadeMs_ = *ms;
            if (*ms == 0) break;  // no fades, as a session plays
          }
          dropped = text;
          break;
        }
        dropped += dropped.empty() ? text : " " + text;
      }
      if (!dropped.empty())
        changes_.Add("line " + std::to_string(lineNo) + ": the option " + Excerpt(dropped) +
                     " is not taken over.");
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
    // A waveform shape ("wave00: 0 3 5 ..."), used by waveform tones.
    if (name.size() == 6 && name.starts_with("wave") && IsDigit(name[4]) && IsDigit(name[5]))
      return {};
    if (toneSets_.count(name)) return "the name " + Quoted(name) + " is defined twice.";
    ToneSet set;
    set.LineNo = lineNo;
    if (body == "{") {
      set.Block = true;
      toneSets_[name] = set;
      block_ = &toneSets_[name];
      return {};
    }
    if (body.empty()) return "the tone-set " + Quoted(name) + " holds no tone.";
    for (const std::string_view tok : Words(body)) {
      const auto tone = ReadTone(tok);
      if (!tone) return NotUnderstood(tok);
      TakeTone(*tone, tok, "line " + std::to_string(lineNo), set);
    }
    toneSets_[name] = set;
    return {};
  }

  // Takes the first audible binaural tone of a set as its voice and lists
  // every other tone that is not silence.
  void TakeTone(const Tone& tone, std::string_view tok, const std::string& origin, ToneSet& set) {
    if (tone.Kind == "silence") return;
    std::string what = tone.Kind;
    if (tone.Kind == "binaural") {
      if (tone.Amp <= 0) {
        what = "a silent tone";
      } else if (tone.Beat == 0) {
        what = "a tone without a beat";
      } else if (set.Binaural) {
        what = "a further binaural tone";
      } else {
        set.Binaural =
            Voice{TakeBeat(tone.Beat, origin, changes_), TakePitch(tone.Carrier, origin, changes_)};
        if (tone.Beat < 0)
          changes_.Add(origin + ": the beat of " + Excerpt(tok) +
                       " is negative, which puts the higher tone in the other ear; the session "
                       "has no side and plays " +
                       std::to_string(set.Binaural->Beat) + " Hz.");
        anyBinaural_ = true;
        return;
      }
    }
    changes_.Add(origin + ": " + what + " (" + Excerpt(tok) + ") is not taken over.");
  }

  // A time line inside a block: "+hh:mm[:ss] [fade] name [->]", or the "}"
  // that ends it.
  std::string ReadBlockLine(std::string_view line, int lineNo) {
    if (line == "}") {
      block_ = nullptr;
      return {};
    }
    if (line.front() != '+')
      return "a block holds only +hh:mm time lines, not " + Quoted(line) + ".";
    std::string_view s = line;
    double rel = 0;
    while (!s.empty() && s.front() == '+') {
      s.remove_prefix(1);
      const auto t = TakeClock(s);
      if (!t) return "the time in " + Quoted(line) + " is not +hh:mm or +hh:mm:ss.";
      rel += *t;
    }
    TimeLine tl;
    if (std::string error = ReadLineEnd(s, line, tl); !error.empty()) return error;
    tl.LineNo = lineNo;
    tl.Seconds = rel;
    if (!block_->BlockLines.empty() && rel < block_->BlockLines.back().Seconds)
      return "the time " + ClockText(rel) + " comes before the previous line's.";
    block_->BlockLines.push_back(tl);
    return {};
  }

  // The rest of a time line after its time: " [fade] name [->]".
  std::string ReadLineEnd(std::string_view s, std::string_view line, TimeLine& tl) {
    if (s.empty() || !IsSpace(s.front())) return "the time line " + Quoted(line) + " has no name.";
    s = Trim(s);
    // A fade ("<>", "--", "==", ...) before the name.
    if (s.size() >= 2 && (s[0] == '<' || s[0] == '-' || s[0] == '=') &&
        (s[1] == '>' || s[1] == '-' || s[1] == '='))
      s = Trim(s.substr(2));
    size_t n = 0;
    while (n < s.size() && IsNameChar(s[n])) ++n;
    if (n == 0) return "the time line " + Quoted(line) + " has no name.";
    tl.Name = std::string(s.substr(0, n));
    s = Trim(s.substr(n));
    if (s.starts_with("->")) {
      tl.Slide = true;
      s = Trim(s.substr(2));
    }
    if (!s.empty()) return "the time line ends in " + Quoted(s) + ", which is not understood.";
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
    double rel = 0, last = 0;
    while (!s.empty() && s.front() == '+') {
      s.remove_prefix(1);
      const auto t = TakeClock(s);
      if (!t) return "the time in " + Quoted(line) + " is not +hh:mm or +hh:mm:ss.";
      rel += *t;
      last = *t;
    }
    TimeLine tl;
    if (std::string error = ReadLineEnd(s, line, tl); !error.empty()) return error;
    // "NOW+20:33:00+00:00:01": the lines after it count from NOW+20:33:00.
    if (type != 0) {
      abs += rel - last;
      rel = last;
    }
    if (type != 0) {
      if (timeType_ != 0 && timeType_ != type)
        return "the file mixes NOW and clock times, so their order is not known.";
      timeType_ = type;
      if (type == 'T') {
        base_ = abs + dayOffset_;
        // A clock time before the previous line's is on the next day; an
        // equal one is the same moment.
        if (!lines_.empty() && base_ + rel < lines_.back().Seconds) {
          dayOffset_ += kDay;
          base_ += kDay;
        }
      } else {
        base_ = abs;
      }
    } else if (timeType_ == 0) {
      return "a relative time comes before any NOW or clock time.";
    }
    tl.LineNo = lineNo;
    tl.Seconds = base_ + rel;
    if (!lines_.empty() && tl.Seconds < lines_.back().Seconds)
      return "the time " + ClockText(tl.Seconds) + " comes before the previous line's.";
    lines_.push_back(tl);
    return {};
  }

  // The time lines with each block put in at its line's time, as far as
  // the next line.
  std::vector<TimeLine> Expanded() const {
    std::vector<TimeLine> out;
    for (size_t i = 0; i < lines_.size(); ++i) {
      const auto it = toneSets_.find(lines_[i].Name);
      if (it == toneSets_.end() || !it->second.Block || it->second.BlockLines.empty()) {
        out.push_back(lines_[i]);
        continue;
      }
      const double until = i + 1 < lines_.size() ? lines_[i + 1].Seconds : 1e300;
      for (TimeLine tl : it->second.BlockLines) {
        tl.Seconds += lines_[i].Seconds;
        if (tl.Seconds >= until) break;
        out.push_back(tl);
      }
    }
    return out;
  }

  // The stretch from line tl to next (nullptr: the open end of the last line).
  CourseSpan Span(const TimeLine& tl, const TimeLine* next) {
    CourseSpan span;
    span.Origin = "line " + std::to_string(tl.LineNo);
    span.Seconds = next ? next->Seconds - tl.Seconds : openEndSeconds_;
    const ToneSet& set = toneSets_.at(tl.Name);
    if (set.Block) {
      span.LeftOut = "the empty block " + Quoted(tl.Name) + " and its " + ClockText(span.Seconds) +
                     " are left out";
      return span;
    }
    if (!set.Binaural) {
      span.LeftOut = ClockText(span.Seconds) + " of " + Quoted(tl.Name) +
                     ", which has no binaural tone, are left out";
      return span;
    }
    Voice end = *set.Binaural;
    const ToneSet* nextSet = next ? &toneSets_.at(next->Name) : nullptr;
    if (nextSet && tl.Slide && nextSet->Binaural) {
      end = *nextSet->Binaural;
    } else if (nextSet && !tl.Slide && fadeMs_ > 0 && nextSet->Binaural &&
               (nextSet->Binaural->Beat != set.Binaural->Beat ||
                nextSet->Binaural->Pitch != set.Binaural->Pitch)) {
      changes_.Add(span.Origin + ": the fade into line " + std::to_string(next->LineNo) +
                   " becomes a step at its time.");
    }
    span.BeatStart = set.Binaural->Beat;
    span.BeatEnd = end.Beat;
    span.PitchStart = set.Binaural->Pitch;
    span.PitchEnd = end.Pitch;
    return span;
  }

  // Why the lines read make no session, if they make none.
  Result<void> Unconvertible() const {
    if (!anyBinaural_) {
      return Failure{Fault::Empty,
                     "The file has no binaural tone (such as 200+10/50), so there is nothing "
                     "the device can play."};
    }
    if (lines_.empty()) {
      return Failure{Fault::Empty, "The file has no time lines."};
    }
    for (const auto& [name, set] : toneSets_) {
      for (const TimeLine& tl : set.BlockLines) {
        const auto it = toneSets_.find(tl.Name);
        if (it == toneSets_.end() || it->second.Block) {
          return Failure{
              Fault::Syntax,
              "Line " + std::to_string(tl.LineNo) + ": the tone-set " + Quoted(tl.Name) +
                  (it == toneSets_.end() ? " is not defined." : " is a block inside a block.")};
        }
      }
    }
    for (const TimeLine& tl : lines_) {
      if (!toneSets_.count(tl.Name)) {
        return Failure{Fault::Syntax, "Line " + std::to_string(tl.LineNo) + ": the tone-set " +
                                          Quoted(tl.Name) + " is not defined."};
      }
    }
    return {};
  }

  // The last time line plays on: no -E ends the schedule there, and it
  // plays a binaural tone.
  bool PlaysOn(const TimeLine& last) const {
    return !endAtLast_ && toneSets_.at(last.Name).Binaural.has_value();
  }

  ExchangeRead Convert() {
    const std::vector<TimeLine> lines = Expanded();
    std::vector<CourseSpan> spans;
    for (size_t i = 0; i + 1 < lines.size(); ++i) spans.push_back(Span(lines[i], &lines[i + 1]));
    const TimeLine& last = lines.back();
    if (PlaysOn(last)) {
      changes_.Add("line " + std::to_string(last.LineNo) + ": the last time line's " +
                   Quoted(last.Name) + " plays on with no end; the session gives it " +
                   ClockText(openEndSeconds_) + ".");
      spans.push_back(Span(last, nullptr));
    }
    return SpansToSession(spans, changes_);
  }

  std::string_view text_;
  double openEndSeconds_;
  ChangeList changes_;
  std::map<std::string, ToneSet> toneSets_;
  std::vector<TimeLine> lines_;
  bool begun_ = false;        // a tone-set or time line was read: options are over
  ToneSet* block_ = nullptr;  // the block being read
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

ExchangeRead ReadSbgText(std::string_view text, const ImportOptions& options) {
  return SbgReader(text, options).Read();
}

bool SbgEndsOpen(std::string_view text) {
  return SbgReader(text, {}).EndsOpen();
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
