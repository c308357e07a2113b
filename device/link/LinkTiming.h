#pragma once
// The four waits of the device link.

#include <chrono>

namespace ovrel {

using LinkDuration = std::chrono::nanoseconds;

struct LinkTiming {
  LinkDuration SettleDelay = std::chrono::microseconds(99'360);        // after every send
  LinkDuration ReplyTimeout = std::chrono::microseconds(993'600);      // for a reply
  LinkDuration LongReplyTimeout = std::chrono::microseconds(9'936'000);  // for the reply to C
  LinkDuration PreUploadPause = std::chrono::microseconds(6'955'200);  // between merge and upload

  // The same waits multiplied by factor (tests run faster with factor < 1).
  LinkTiming Scaled(double factor) const {
    const auto scale = [factor](LinkDuration d) {
      return std::chrono::duration_cast<LinkDuration>(d * factor);
    };
    return {scale(SettleDelay), scale(ReplyTimeout), scale(LongReplyTimeout),
            scale(PreUploadPause)};
  }
};

}  // namespace ovrel
