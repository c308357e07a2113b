#pragma once
// Start and total times of a session and their texts.

#include <cstdint>
#include <string>

#include "session/Session.h"

namespace ovrel {

// Minutes ":" seconds with one decimal, seconds padded to two digits:
// 0 -> "0:00.0", 75 -> "1:15.0", 600 -> "10:00.0".
std::string TimeText(int64_t seconds);

struct SesTimeTexts {
  std::string Start;  // "Segment n start time: 0:00.0"
  std::string Total;  // "Session total time: 1:00.0"
};

// Start time of segment n (1..SegCount) and the session's total time.
SesTimeTexts ComputeSessionTimes(const Session& ses, int32_t n);

// Total duration of the session in seconds.
int64_t SesTotalSeconds(const Session& ses);

// The device keeps a session's minutes in one byte, so it shows a session
// of 256 minutes or more with its length modulo 256 minutes. The warning
// that says so for a session of this length, or empty when it fits.
std::string DeviceLengthWarning(int64_t minutes, int64_t seconds);

}  // namespace ovrel
