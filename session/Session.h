#pragma once
// The session: SegCount segments in SegData[1..SegCount]. Entries above
// SegCount hold stale data and are never part of the session.

#include <array>
#include <cstdint>

#include "session/Segment.h"

namespace ovrel {

// Segments indexed 1..MaxSegCount; entry 0 is never used.
using SegArray = std::array<Segment, MaxSegCount + 1>;

struct Session {
  int32_t SegCount = 1;
  SegArray SegData{};

  Segment& operator[](int32_t k) { return SegData.at(static_cast<size_t>(k)); }
  const Segment& operator[](int32_t k) const { return SegData.at(static_cast<size_t>(k)); }
};

// Sets segment k to the defaults: Time 4, Mode 1, frequencies 10, Pitch 100.
inline void FillDefSeg(Session& ses, int32_t k) {
  ses[k] = Segment{};
}

}  // namespace ovrel
