#include "session/Sweep.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace ovrel {

namespace {

constexpr std::array<const char*, 7> kModeNames = {"LR", "IN", "FB", "CR", "LA", "SA", "SL"};

constexpr const char* kFromReason = "the start frequency must be a whole number from 1 to 48 Hz";
constexpr const char* kToReason = "the end frequency must be a whole number from 1 to 48 Hz";
constexpr const char* kPitchReason =
    "the pitch must be a whole number from 48 to 400 Hz, or two of them as P1:P2";
constexpr const char* kModeReason = "the mode must be one of LR, IN, FB, CR, LA, SA, SL";
constexpr const char* kLengthTextReason = "the length must be minutes, as M or M:SS";
constexpr const char* kLengthUnitReason = "the length must be whole 15-second units";
constexpr const char* kLengthRangeReason =
    "the length must be from 0:15 to 2185:00 (a longer sweep needs more than 380 segments)";

// A whole decimal number, all of text (an optional minus, then digits).
std::optional<int64_t> ParseWhole(std::string_view text) {
  int64_t v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return v;
}

// num / den (den > 0) to the nearest whole number, halves away from zero.
int64_t RoundDiv(int64_t num, int64_t den) {
  if (num >= 0) return (2 * num + den) / (2 * den);
  return -((-2 * num + den) / (2 * den));
}

// The sweep's values once read; a field left empty has been reported.
struct SweepValues {
  std::optional<int64_t> From, To, Units, PitchFrom, PitchTo, Mode;
};

void Report(SweepResult& r, SweepField field, const char* reason) {
  r.Problems.push_back({field, reason});
}

bool InRange(int64_t v, int64_t lo, int64_t hi) {
  return v >= lo && v <= hi;
}

SweepResult Build(const SweepValues& v, SweepResult r, int32_t room) {
  if (v.From && !InRange(*v.From, 1, 48)) Report(r, SweepField::From, kFromReason);
  if (v.To && !InRange(*v.To, 1, 48)) Report(r, SweepField::To, kToReason);
  if (v.Units) {
    const int64_t units = *v.Units;
    const int64_t count = (units + MaxSegTime - 1) / MaxSegTime;
    if (!InRange(units, 1, MaxSweepUnits)) {
      Report(r, SweepField::Length, kLengthRangeReason);
    } else if (count > room) {
      r.Problems.push_back(
          {SweepField::Length, "the sweep needs " + std::to_string(count) +
                                   " segments and the session has room for " +
                                   std::to_string(std::max(room, 0)) + " more (at most " +
                                   std::to_string(MaxSegCount) + " in a session)"});
    }
  }
  if (v.PitchFrom && (!InRange(*v.PitchFrom, 48, 400) || !InRange(*v.PitchTo, 48, 400)))
    Report(r, SweepField::Pitch, kPitchReason);
  if (v.Mode && !InRange(*v.Mode, 0, 6)) Report(r, SweepField::Mode, kModeReason);
  std::stable_sort(r.Problems.begin(), r.Problems.end(),
                   [](const SweepProblem& a, const SweepProblem& b) { return a.Field < b.Field; });
  if (!r.Ok()) return r;

  // Everything is in range, so the products below stay far inside 64 bits.
  const int64_t units = *v.Units;
  const int64_t f1 = *v.From, df = *v.To - f1;
  const int64_t p1 = *v.PitchFrom, dp = *v.PitchTo - p1;
  const int64_t count = (units + MaxSegTime - 1) / MaxSegTime;
  const int64_t base = units / count, longer = units % count;
  // The frequency line at unit t, and the pitch line at half-unit h.
  const auto freqAt = [&](int64_t t) { return RoundDiv(f1 * units + df * t, units); };
  const auto pitchAt = [&](int64_t h) { return RoundDiv(p1 * 2 * units + dp * h, 2 * units); };
  int64_t start = 0;
  for (int64_t k = 0; k < count; ++k) {
    const int64_t time = base + (k < longer ? 1 : 0);
    Segment seg;
    seg.Time = static_cast<int32_t>(time);
    seg.Mode = static_cast<int32_t>(*v.Mode);
    seg.FreqStart = static_cast<int32_t>(freqAt(start));
    seg.FreqEnd = static_cast<int32_t>(freqAt(start + time));
    seg.Pitch = static_cast<int32_t>(pitchAt(2 * start + time));
    r.Segments.push_back(seg);
    start += time;
  }
  return r;
}

}  // namespace

std::string SweepResult::Reason(SweepField field) const {
  for (const SweepProblem& p : Problems)
    if (p.Field == field) return p.Reason;
  return {};
}

int64_t SweepResult::TotalSeconds() const {
  int64_t units = 0;
  for (const Segment& seg : Segments) units += seg.Time;
  return units * TimeUnit;
}

std::optional<int64_t> ParseMinutesText(std::string_view text) {
  const size_t colon = text.find(':');
  const std::string_view minutesText = text.substr(0, colon);
  if (minutesText.empty() ||
      !std::all_of(minutesText.begin(), minutesText.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  // Far more minutes than any sweep can have still read as a number.
  const std::optional<int64_t> parsed =
      minutesText.size() > 12 ? std::optional<int64_t>(999'999'999'999) : ParseWhole(minutesText);
  int64_t seconds = *parsed * 60;
  if (colon != std::string_view::npos) {
    const std::string_view secText = text.substr(colon + 1);
    if (secText.size() != 2 || !std::isdigit(static_cast<unsigned char>(secText[0])) ||
        !std::isdigit(static_cast<unsigned char>(secText[1])) || secText[0] > '5')
      return std::nullopt;
    seconds += (secText[0] - '0') * 10 + (secText[1] - '0');
  }
  return seconds;
}

std::optional<int32_t> ModeFromName(std::string_view name) {
  for (size_t m = 0; m < kModeNames.size(); ++m) {
    const std::string_view known = kModeNames[m];
    if (name.size() == known.size() &&
        std::equal(name.begin(), name.end(), known.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == b;
        }))
      return static_cast<int32_t>(m);
  }
  return std::nullopt;
}

SweepResult MakeSweep(const SweepParameters& parameters, int32_t room) {
  SweepValues v;
  v.From = parameters.FreqFrom;
  v.To = parameters.FreqTo;
  v.Units = parameters.Units;
  v.PitchFrom = parameters.PitchFrom;
  v.PitchTo = parameters.PitchTo;
  v.Mode = parameters.Mode;
  return Build(v, {}, room);
}

SweepResult MakeSweep(const SweepInput& input, int32_t room) {
  SweepResult r;
  SweepValues v;
  v.From = ParseWhole(input.From);
  if (!v.From) Report(r, SweepField::From, kFromReason);
  v.To = ParseWhole(input.To);
  if (!v.To) Report(r, SweepField::To, kToReason);

  if (const std::optional<int64_t> seconds = ParseMinutesText(input.Length); !seconds)
    Report(r, SweepField::Length, kLengthTextReason);
  else if (*seconds % TimeUnit != 0)
    Report(r, SweepField::Length, kLengthUnitReason);
  else
    v.Units = *seconds / TimeUnit;

  const std::string_view pitch = input.Pitch;
  const size_t colon = pitch.find(':');
  v.PitchFrom = ParseWhole(pitch.substr(0, colon));
  v.PitchTo = colon == std::string_view::npos ? v.PitchFrom : ParseWhole(pitch.substr(colon + 1));
  if (!v.PitchFrom || !v.PitchTo) {
    Report(r, SweepField::Pitch, kPitchReason);
    v.PitchFrom.reset();
  }

  if (const std::optional<int32_t> mode = ModeFromName(input.Mode))
    v.Mode = *mode;
  else
    Report(r, SweepField::Mode, kModeReason);
  return Build(v, std::move(r), room);
}

SegOpResult InsertSegments(Session& ses, int32_t current, const std::vector<Segment>& segs) {
  const auto n = static_cast<int32_t>(segs.size());
  if (n > MaxSegCount - ses.SegCount) return Failure{Fault::TooMany, kMaxSegCountError};
  SegOpEffect r;
  r.Modifies = true;
  if (n == 0) return r;
  // Segments current..SegCount move up by n places, the highest first.
  for (int32_t k = ses.SegCount; k >= current; --k) ses[k + n] = ses[k];
  ses.SegCount += n;
  std::copy(segs.begin(), segs.end(), ses.SegData.begin() + current);
  r.RefreshFrom = current;
  r.RefreshTo = ses.SegCount;
  r.CountChanged = true;
  r.Cursor = current;
  r.TimesColumn = current;
  return r;
}

}  // namespace ovrel
