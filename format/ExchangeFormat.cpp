#include "format/ExchangeFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

#include "session/Sweep.h"

namespace ovrel {

namespace {

constexpr int32_t kMaxSegTime = 23;

// A number as the lists show it: whole numbers without a fraction, others
// with up to three decimals.
std::string HzText(double hz) {
  char buf[64];
  if (std::fabs(hz) < 1e12 && hz == std::nearbyint(hz))
    std::snprintf(buf, sizeof buf, "%.0f", hz);
  else
    std::snprintf(buf, sizeof buf, "%.6g", hz);
  return buf;
}

// Rounded to whole hertz (halves to the even neighbour) and clamped.
int32_t TakeWhole(double hz, double low, double high, const char* what, const std::string& origin,
                  ChangeList& changes) {
  const double rounded = std::nearbyint(hz);
  const double clamped = std::clamp(rounded, low, high);
  if (clamped != rounded) {
    changes.Add(origin + ": the " + what + " " + HzText(hz) + " Hz is outside " + HzText(low) +
                " to " + HzText(high) + " Hz and becomes " + HzText(clamped) + " Hz.");
  } else if (rounded != hz) {
    changes.Add(origin + ": the " + what + " " + HzText(hz) + " Hz is rounded to " +
                HzText(rounded) + " Hz.");
  }
  return static_cast<int32_t>(clamped);
}

// A code point that shows nothing or looks like a plain space: format and
// zero-width characters, the byte-order mark, non-breaking spaces.
bool IsInvisible(uint32_t cp) {
  return cp == 0xA0 || cp == 0xAD || (cp >= 0x2000 && cp <= 0x200F) ||
         (cp >= 0x2028 && cp <= 0x202F) || (cp >= 0x205F && cp <= 0x206F) || cp == 0xFEFF ||
         cp == 0x3000 || (cp >= 0x80 && cp < 0xA0);
}

// The UTF-8 sequence at the front of s: its code point and length, or
// nothing when the bytes are not UTF-8.
std::optional<std::pair<uint32_t, size_t>> TakeUtf8(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  const size_t n = b0 >= 0xF0 && b0 < 0xF5 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 && b0 < 0xE0 ? 2 : 0;
  if (n == 0 || s.size() < n) return std::nullopt;
  uint32_t cp = b0 & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    cp = cp << 6 | (b & 0x3F);
  }
  const bool shortest = n == 2 || (n == 3 && cp >= 0x800) || (n == 4 && cp >= 0x10000);
  if (!shortest || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return std::nullopt;
  return std::make_pair(cp, n);
}

// The segments made so far, with the origin of each.
struct Pieces {
  std::vector<Segment> Segs;
  std::vector<std::string> Origins;
  std::vector<double> SourceStarts;
};

// The span's segments over `units`, cut as the sweep designer cuts.
size_t AppendPieces(const CourseSpan& span, int32_t units, double sourceStart, Pieces& out) {
  SweepParameters p;
  p.FreqFrom = span.BeatStart;
  p.FreqTo = span.BeatEnd;
  p.Units = units;
  p.PitchFrom = p.PitchTo = span.PitchStart;
  p.Mode = kImportedMode;
  const SweepResult sweep = MakeSweep(p);
  double offset = 0;
  for (const Segment& seg : sweep.Segments) {
    out.Segs.push_back(seg);
    out.Origins.push_back(span.Origin);
    out.SourceStarts.push_back(sourceStart + std::min(offset, span.Seconds));
    offset += seg.Time * double{TimeUnit};
  }
  return sweep.Segments.size();
}

bool AnyPlayedAfter(const std::vector<CourseSpan>& spans, size_t i) {
  for (size_t k = i + 1; k < spans.size(); ++k)
    if (spans[k].LeftOut.empty() && spans[k].Seconds > 0) return true;
  return false;
}

}  // namespace

void ChangeList::Add(const std::string& change) {
  if (seen_.insert(change).second) items_.push_back(change);
}

int32_t TakeBeat(double hz, const std::string& origin, ChangeList& changes) {
  return TakeWhole(std::fabs(hz), 1, 48, "beat", origin, changes);
}

int32_t TakePitch(double hz, const std::string& origin, ChangeList& changes) {
  return TakeWhole(hz, 48, 400, "carrier", origin, changes);
}

std::string ClockText(double seconds) {
  const auto whole = static_cast<int64_t>(std::floor(seconds));
  const double fraction = seconds - static_cast<double>(whole);
  const int64_t h = whole / 3600;
  const int64_t m = whole / 60 % 60;
  const int64_t s = whole % 60;
  char buf[96];
  if (h > 0)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s));
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(m),
                  static_cast<long long>(s));
  std::string text = buf;
  if (fraction > 1e-9) {
    char frac[32];
    std::snprintf(frac, sizeof frac, "%.3f", fraction);
    std::string f = frac + 1;  // ".xyz"
    while (f.back() == '0') f.pop_back();
    if (f != ".") text += f;
  }
  return text;
}

std::string QuotedInput(std::string_view text) {
  constexpr size_t kMaxChars = 60;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  size_t chars = 0;
  while (!text.empty() && chars < kMaxChars) {
    const auto byte = static_cast<unsigned char>(text[0]);
    ++chars;
    if (byte < 0x20 || byte == 0x7F) {
      out += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0xF];
      text.remove_prefix(1);
    } else if (byte < 0x80) {
      out += text[0];
      text.remove_prefix(1);
    } else if (const auto cp = TakeUtf8(text); !cp) {
      out += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0xF];
      text.remove_prefix(1);
    } else {
      if (IsInvisible(cp->first)) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "\\u{%04X}", static_cast<unsigned>(cp->first));
        out += buf;
      } else {
        out += text.substr(0, cp->second);
      }
      text.remove_prefix(cp->second);
    }
  }
  if (!text.empty()) out += "...";
  return out + "\"";
}

ExchangeRead SpansToSession(const std::vector<CourseSpan>& spans, ChangeList& changes) {
  // The longest span that could still fit: every segment at 23 units.
  constexpr double kMaxSeconds = double{MaxSegCount} * kMaxSegTime * TimeUnit;
  Pieces pieces;
  double played = 0, leftOut = 0;
  int64_t unitsBefore = 0;
  for (size_t i = 0; i < spans.size(); ++i) {
    const CourseSpan& span = spans[i];
    if (!(span.Seconds > 0)) continue;
    if (!span.LeftOut.empty()) {
      leftOut += span.Seconds;
      changes.Add(span.Origin + ": " + span.LeftOut +
                  (AnyPlayedAfter(spans, i)
                       ? "; everything after it plays " + ClockText(leftOut) + " earlier."
                       : "."));
      continue;
    }
    if (span.Seconds > kMaxSeconds || played + span.Seconds > kMaxSeconds) {
      return Failure{Fault::TooMany, span.Origin + ": the stretch of " + ClockText(span.Seconds) +
                                         " makes the session longer than a session can be (" +
                                         ClockText(kMaxSeconds) + ")."};
    }
    const double sourceStart = played + leftOut;
    played += span.Seconds;
    const auto unitsAfter = static_cast<int64_t>(std::floor(played / TimeUnit + 0.5));
    const auto units = static_cast<int32_t>(unitsAfter - unitsBefore);
    unitsBefore = unitsAfter;
    if (units <= 0) {
      changes.Add(span.Origin + ": its " + ClockText(span.Seconds) +
                  " fall inside one 15-second unit and merge into the stretches around it.");
      continue;
    }
    if (std::fabs(units * double{TimeUnit} - span.Seconds) > 1e-6)
      changes.Add(span.Origin + ": the duration " + ClockText(span.Seconds) + " becomes " +
                  ClockText(units * double{TimeUnit}) +
                  " (its ends on the 15-second grid of the time from the start).");
    if (span.PitchEnd != span.PitchStart)
      changes.Add(span.Origin + ": the carrier glides from " + std::to_string(span.PitchStart) +
                  " to " + std::to_string(span.PitchEnd) + " Hz; the segment holds " +
                  std::to_string(span.PitchStart) + " Hz.");
    const size_t count = AppendPieces(span, units, sourceStart, pieces);
    if (count > 1)
      changes.Add(span.Origin + ": " + ClockText(units * double{TimeUnit}) + " is split into " +
                  std::to_string(count) +
                  " segments of at most 5:45, each following the straight line.");
    if (pieces.Segs.size() > static_cast<size_t>(MaxSegCount)) {
      return Failure{Fault::TooMany, span.Origin + ": the schedule needs more than " +
                                         std::to_string(MaxSegCount) +
                                         " segments, more than a session can hold."};
    }
  }
  if (pieces.Segs.empty()) {
    return Failure{Fault::Empty, "No stretch of the schedule plays a binaural beat."};
  }
  ExchangeImport result;
  Session& ses = result.Session;
  ses.SegCount = static_cast<int32_t>(pieces.Segs.size());
  for (int32_t k = 1; k <= ses.SegCount; ++k) ses[k] = pieces.Segs[static_cast<size_t>(k - 1)];
  result.Changes = changes.Items();
  result.SegmentOrigins = std::move(pieces.Origins);
  result.SegmentSourceStarts = std::move(pieces.SourceStarts);
  result.LeftOutSeconds = leftOut;
  return result;
}

std::vector<ExportPoint> ExportPoints(const Session& ses) {
  std::vector<ExportPoint> points;
  int64_t t = 0;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const Segment& seg = ses[k];
    points.push_back({t, seg.FreqStart, seg.Pitch, true});
    t += int64_t{seg.Time} * TimeUnit;
    const bool last = k == ses.SegCount;
    if (last || ses[k + 1].FreqStart != seg.FreqEnd || ses[k + 1].Pitch != seg.Pitch)
      points.push_back({t, seg.FreqEnd, seg.Pitch, false});
  }
  return points;
}

std::vector<std::string> ExportDescription(const std::string& sesName,
                                           const std::string& producer) {
  return {"Session: " + sesName,
          "Exported by " + producer +
              ": one tone per segment point, sliding between them, with no fades.",
          "The stimulation modes of the segments are not part of this format."};
}

}  // namespace ovrel
