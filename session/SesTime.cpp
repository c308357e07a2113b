#include "session/SesTime.h"

#include <cstdio>

namespace ovrel {

std::string TimeText(int64_t seconds) {
  // Negative times only arise from out-of-range values read from a file.
  const char* sign = seconds < 0 ? "-" : "";
  const int64_t x = seconds < 0 ? -seconds : seconds;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%lld:%04.1f", sign, static_cast<long long>(x / 60),
                static_cast<double>(x % 60));
  return buf;
}

int64_t SesTotalSeconds(const Session& ses) {
  int64_t total = 0;
  for (int32_t k = 1; k <= ses.SegCount; ++k) total += int64_t{ses[k].Time} * TimeUnit;
  return total;
}

SesTimeTexts ComputeSessionTimes(const Session& ses, int32_t n) {
  int64_t start = 0;
  for (int32_t k = 1; k < n && k <= ses.SegCount; ++k) start += int64_t{ses[k].Time} * TimeUnit;
  return {"Segment " + std::to_string(n) + " start time: " + TimeText(start),
          "Session total time: " + TimeText(SesTotalSeconds(ses))};
}

std::string DeviceLengthWarning(int64_t minutes, int64_t seconds) {
  if (minutes < 256) return {};
  const auto length = [seconds](int64_t m) {
    return std::to_string(m) + ":" + (seconds < 10 ? "0" : "") + std::to_string(seconds);
  };
  return "The session lasts " + length(minutes) +
         ", longer than 255 minutes: Sorvani shows a length modulo 256 minutes, so it will show " +
         length(minutes % 256) + ".";
}

}  // namespace ovrel
