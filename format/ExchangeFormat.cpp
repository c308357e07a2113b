#include "format/ExchangeFormat.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "fileio/FileBytes.h"
#include "format/GnauralFormat.h"
#include "format/LegacyImport.h"
#include "format/SbgFormat.h"

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

Segment SpanSegment(const CourseSpan& span, int32_t units) {
  Segment seg;
  seg.Time = units;
  seg.Mode = kImportedMode;
  seg.FreqStart = span.BeatStart;
  seg.FreqEnd = span.BeatEnd;
  seg.Pitch = span.PitchStart;
  return seg;
}

// Halves a sweep until every piece fits a segment.
void SplitSweep(const Segment& seg, std::vector<Segment>& out) {
  if (seg.Time <= kMaxSegTime) {
    out.push_back(seg);
    return;
  }
  const auto [first, second] = SplitSegmentInHalves(seg);
  SplitSweep(first, out);
  SplitSweep(second, out);
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

ExchangeRead SpansToSession(const std::vector<CourseSpan>& spans, ChangeList& changes) {
  ExchangeRead result;
  // The longest span that could still fit: every segment at 23 units.
  constexpr double kMaxSeconds = double{MaxSegCount} * kMaxSegTime * TimeUnit;
  std::vector<Segment> segs;
  for (const CourseSpan& span : spans) {
    if (!(span.Seconds > 0)) continue;
    if (span.Seconds > kMaxSeconds) {
      result.Error = span.Origin + ": the stretch of " + ClockText(span.Seconds) +
                     " is longer than a session can be (" + ClockText(kMaxSeconds) + ").";
      return result;
    }
    const int32_t units =
        std::max(int32_t{1}, static_cast<int32_t>(std::nearbyint(span.Seconds / TimeUnit)));
    if (std::fabs(units * double{TimeUnit} - span.Seconds) > 1e-6)
      changes.Add(span.Origin + ": the duration " + ClockText(span.Seconds) + " becomes " +
                  ClockText(units * double{TimeUnit}) + " (whole 15-second units).");
    if (span.PitchEnd != span.PitchStart)
      changes.Add(span.Origin + ": the carrier glides from " + std::to_string(span.PitchStart) +
                  " to " + std::to_string(span.PitchEnd) + " Hz; the segment holds " +
                  std::to_string(span.PitchStart) + " Hz.");
    const Segment seg = SpanSegment(span, units);
    const size_t before = segs.size();
    if (units <= kMaxSegTime) {
      segs.push_back(seg);
    } else if (seg.FreqStart == seg.FreqEnd) {
      for (int32_t left = units; left > 0; left -= kMaxSegTime) {
        Segment piece = seg;
        piece.Time = std::min(left, kMaxSegTime);
        segs.push_back(piece);
      }
    } else {
      SplitSweep(seg, segs);
    }
    if (segs.size() - before > 1)
      changes.Add(span.Origin + ": " + ClockText(units * double{TimeUnit}) + " is split into " +
                  std::to_string(segs.size() - before) + " segments of at most 5:45.");
    if (segs.size() > static_cast<size_t>(MaxSegCount)) {
      result.Error = span.Origin + ": the schedule needs more than " + std::to_string(MaxSegCount) +
                     " segments, more than a session can hold.";
      return result;
    }
  }
  if (segs.empty()) {
    result.Error = "No stretch of the schedule plays a binaural beat.";
    return result;
  }
  Session ses;
  ses.SegCount = static_cast<int32_t>(segs.size());
  for (int32_t k = 1; k <= ses.SegCount; ++k) ses[k] = segs[static_cast<size_t>(k - 1)];
  result.Session = ses;
  result.Changes = changes.Items();
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

ExchangeKind ExchangeKindOf(const std::string& path) {
  std::string lower = path;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.ends_with(".sbg")) return ExchangeKind::Sbg;
  if (lower.ends_with(".gnaural")) return ExchangeKind::Gnaural;
  return ExchangeKind::None;
}

ExchangeRead ImportExchangeFile(const std::string& path) {
  const ExchangeKind kind = ExchangeKindOf(path);
  ExchangeRead result;
  if (kind == ExchangeKind::None) {
    result.Error = kUnsupportedSessionFormat;
    return result;
  }
  const FileBytes file = ReadFileBytes(path, kMaxTextFileBytes);
  if (!file) {
    result.Error = file.Error;
    return result;
  }
  result = kind == ExchangeKind::Sbg ? ReadSbgText(*file.Bytes) : ReadGnauralText(*file.Bytes);
  if (!result) result.Error = path + ": " + result.Error;
  return result;
}

FileWriteResult ExportExchangeFile(const std::string& path, const Session& ses,
                                   const std::string& sesName, const std::string& producer) {
  const ExchangeKind kind = ExchangeKindOf(path);
  if (kind == ExchangeKind::None)
    return {false, "Cannot write " + path + ": " + kUnsupportedSessionFormat + "."};
  // A session file may hold values no device range allows; the schedules
  // hold a frequency below zero (and a pitch of zero or less) in no form a
  // reader takes back, so such a session is not written.
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const Segment& seg = ses[k];
    if (seg.FreqStart < 0 || seg.FreqEnd < 0 || seg.Pitch <= 0 || seg.Time < 0)
      return {false, "Cannot write " + path + ": segment " + std::to_string(k) +
                         " has a frequency below 0, a pitch of 0 or less, or a negative time, "
                         "which a schedule cannot hold."};
  }
  return WriteFileAtomically(path, kind == ExchangeKind::Sbg ? SbgText(ses, sesName, producer)
                                                             : GnauralText(ses, sesName, producer));
}

}  // namespace ovrel
