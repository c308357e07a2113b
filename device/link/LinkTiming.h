#pragma once
// The four waits of the device link, kept as fractions of a day like the
// device documentation gives them.

#include <chrono>
#include <cmath>

namespace ovrel {

struct LinkTiming {
  double SettleDelay = 1.15e-6;       // 99.36 ms after every send
  double ReplyTimeout = 1.15e-5;      // 993.6 ms for a reply
  double LongReplyTimeout = 1.15e-4;  // 9936 ms for the reply to C
  double PreUploadPause = 8.05e-5;    // 6955.2 ms between merge and upload

  static std::chrono::nanoseconds ToDuration(double dayFraction) {
    return std::chrono::nanoseconds(std::llround(dayFraction * 86400.0e9));
  }

  // The same waits multiplied by factor (tests run faster with factor < 1).
  LinkTiming Scaled(double factor) const {
    return {SettleDelay * factor, ReplyTimeout * factor, LongReplyTimeout * factor,
            PreUploadPause * factor};
  }
};

}  // namespace ovrel
