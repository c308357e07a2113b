// What every schedule import must give when it succeeds: a session the
// device can play, that the same format writes and reads back unchanged.
#pragma once

#include "fuzz/FuzzCheck.h"
#include "format/ExchangeFormat.h"

namespace ovrel {

template <typename Read, typename Write>
void CheckImportedSchedule(const ExchangeRead& read, Read readBack, Write write) {
  if (!read) {
    FUZZ_CHECK(!read.Error().empty());
    return;
  }
  const Session& ses = read->Session;
  FUZZ_CHECK(ses.SegCount >= 1 && ses.SegCount <= MaxSegCount);
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const Segment& s = ses[k];
    FUZZ_CHECK(s.Time >= 1 && s.Time <= 23);
    FUZZ_CHECK(s.Mode == kImportedMode);
    FUZZ_CHECK(s.FreqStart >= 1 && s.FreqStart <= 48);
    FUZZ_CHECK(s.FreqEnd >= 1 && s.FreqEnd <= 48);
    FUZZ_CHECK(s.Pitch >= 48 && s.Pitch <= 400);
  }
  const ExchangeRead again = readBack(write(ses, "fuzz", "fuzz"));
  FUZZ_CHECK(again);
  FUZZ_CHECK(again->Changes.empty());
  FUZZ_CHECK(again->Session.SegCount == ses.SegCount);
  for (int32_t k = 1; k <= ses.SegCount; ++k) FUZZ_CHECK(again->Session[k] == ses[k]);
}

}  // namespace ovrel
