#pragma once
// Totals of a session at a glance: its length, how much of it each mode
// takes, and the frequency and pitch ranges it uses.

#include <array>
#include <cstdint>

#include "session/Session.h"

namespace ovrel {

inline constexpr int ModeCount = 7;  // modes 0..6, "LR" to "SL"

struct SessionSummary {
  int64_t TotalSeconds = 0;
  int32_t SegCount = 0;
  // Seconds spent in each mode 0..6, and in modes outside 0..6 (only a file
  // can hold such a mode).
  std::array<int64_t, ModeCount> ModeSeconds{};
  int64_t OtherModeSeconds = 0;
  // Lowest and highest frequency any segment starts or ends at, and the
  // lowest and highest pitch.
  int32_t FreqMin = 0, FreqMax = 0;
  int32_t PitchMin = 0, PitchMax = 0;
};

SessionSummary Summarize(const Session& ses);

// Share of the session's time spent in mode m (0..6), 0 to 1; 0 for an
// empty session.
double ModeShare(const SessionSummary& s, int32_t mode);

}  // namespace ovrel
