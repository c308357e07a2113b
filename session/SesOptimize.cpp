#include "session/SesOptimize.h"

#include <algorithm>

#include "session/SegmentOps.h"

namespace ovrel {

namespace {

constexpr int64_t kMaxPiece = 23;  // the longest segment the editor makes

// Segments k and k+1 hold the same steady stimulation: equal mode, equal
// pitch, and both at the same frequency from start to end.
bool Mergeable(const Session& ses, int32_t k) {
  const Segment& a = ses[k];
  const Segment& b = ses[k + 1];
  return a.Mode == b.Mode && a.FreqStart == b.FreqStart && a.FreqEnd == b.FreqEnd &&
         a.FreqStart == a.FreqEnd && b.FreqStart == b.FreqEnd && a.Pitch == b.Pitch;
}

}  // namespace

// A run of n segments lasting T units normally becomes floor(T / 23) pieces
// of 23 units and one piece of T mod 23, written from the run's first segment
// on, and the run's remaining segments are deleted.
//
// That only fits when the pieces do not outnumber the run, i.e. when
// 0 < T <= 23 * n. A run can hold longer segments (Time up to 31 comes from a
// file or the legacy import); then the run keeps all n segments and T is
// shared out evenly among them, the first T mod n segments getting one unit
// more than the others. Each new Time lies between the run's shortest and
// longest segment, nothing outside the run is written and the total duration
// is kept. A run whose total is not positive (only possible with Time values
// below 1 from a file) is left as it is. Neither case removes a segment, so
// neither counts as a change of the session.
OptimizeResult SesOptimize(Session& ses) {
  OptimizeResult result;
  int32_t i = 0;
  while (i < ses.SegCount - 1) {
    ++i;
    if (!Mergeable(ses, i)) continue;

    int32_t k = i;
    int32_t extra = 0;
    int64_t t = ses[i].Time;
    while (k < ses.SegCount && Mergeable(ses, k)) {
      ++k;
      ++extra;
      t += ses[k].Time;
    }
    const int32_t runLen = extra + 1;

    int32_t p = i;
    if (t > 0 && t <= kMaxPiece * runLen) {
      while (t >= kMaxPiece) {
        ses[p++].Time = static_cast<int32_t>(kMaxPiece);
        --extra;
        t -= kMaxPiece;
      }
      if (t > 0) {
        ses[p++].Time = static_cast<int32_t>(t);
        --extra;
      }
      for (int32_t n = 0; n < extra + 1; ++n) {
        // Deleting one of several segments always succeeds.
        static_cast<void>(DelSeg(ses, p, p, p));
        ++result.Removed;
        result.Cursor = p;
      }
    } else {
      if (t > 0) {
        const int64_t base = t / runLen;
        const int64_t longer = t % runLen;
        for (int32_t n = 0; n < runLen; ++n)
          ses[i + n].Time = static_cast<int32_t>(base + (n < longer ? 1 : 0));
      }
      p = i + runLen;
    }
    i = p - 1;
  }
  if (result.Cursor) result.Cursor = std::min(*result.Cursor, ses.SegCount);
  return result;
}

}  // namespace ovrel
