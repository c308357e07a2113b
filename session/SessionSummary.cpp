#include "session/SessionSummary.h"

#include <algorithm>

namespace ovrel {

SessionSummary Summarize(const Session& ses) {
  SessionSummary s;
  s.SegCount = ses.SegCount;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const Segment& seg = ses[k];
    const int64_t seconds = int64_t{seg.Time} * TimeUnit;
    s.TotalSeconds += seconds;
    if (seg.Mode >= 0 && seg.Mode < ModeCount)
      s.ModeSeconds[static_cast<size_t>(seg.Mode)] += seconds;
    else
      s.OtherModeSeconds += seconds;
    const auto [lo, hi] = std::minmax(seg.FreqStart, seg.FreqEnd);
    if (k == 1) {
      s.FreqMin = lo;
      s.FreqMax = hi;
      s.PitchMin = s.PitchMax = seg.Pitch;
    } else {
      s.FreqMin = std::min(s.FreqMin, lo);
      s.FreqMax = std::max(s.FreqMax, hi);
      s.PitchMin = std::min(s.PitchMin, seg.Pitch);
      s.PitchMax = std::max(s.PitchMax, seg.Pitch);
    }
  }
  return s;
}

double ModeShare(const SessionSummary& s, int32_t mode) {
  if (s.TotalSeconds <= 0 || mode < 0 || mode >= ModeCount) return 0.0;
  return static_cast<double>(s.ModeSeconds[static_cast<size_t>(mode)]) /
         static_cast<double>(s.TotalSeconds);
}

}  // namespace ovrel
