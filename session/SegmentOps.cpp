#include "session/SegmentOps.h"

#include <algorithm>

namespace ovrel {

namespace {

// Segments from..old SegCount move up by n places, copied from the highest
// down so that nothing is overwritten before it has moved.
void OpenGap(Session& ses, int32_t from, int32_t n) {
  for (int32_t k = ses.SegCount; k >= from; --k) ses[k + n] = ses[k];
  ses.SegCount += n;
}

Failure Refused() {
  return {Fault::TooMany, kMaxSegCountError};
}

SegOpEffect Changed(int32_t from, int32_t to, bool countChanged, int32_t cursor,
                    int32_t timeCompCol) {
  SegOpEffect r;
  r.RefreshFrom = from;
  r.RefreshTo = to;
  r.CountChanged = countChanged;
  r.Cursor = cursor;
  r.TimesColumn = timeCompCol;
  r.Modifies = true;
  return r;
}

SegOpResult Step(Session& ses, int32_t first, int32_t last, int row, StepKind kind) {
  for (int32_t k = first; k <= last; ++k) {
    int32_t& v = SegField(ses[k], row);
    v = StepValue(row, v, kind);
  }
  SegOpEffect r;
  r.Modifies = true;
  r.RefreshFrom = first;
  r.RefreshTo = last;
  // The editor recomputes the times after each stepped segment, so the last
  // one is what remains on show.
  if (row == RowTime) r.TimesColumn = last;
  return r;
}

}  // namespace

void StartNewSession(Session& ses) {
  ses.SegCount = 1;
  FillDefSeg(ses, 1);
}

SegOpResult AddNewSeg(Session& ses, int32_t current) {
  if (ses.SegCount >= MaxSegCount) return Refused();
  ses.SegCount += 1;
  FillDefSeg(ses, ses.SegCount);
  return Changed(ses.SegCount, ses.SegCount, true, 0, current);
}

SegOpResult InsSeg(Session& ses, int32_t current) {
  if (ses.SegCount >= MaxSegCount) return Refused();
  OpenGap(ses, current, 1);
  FillDefSeg(ses, current);
  return Changed(current, ses.SegCount, true, current, current);
}

SegOpResult DelSeg(Session& ses, int32_t first, int32_t last, int32_t current) {
  if (ses.SegCount < 2) return SegOpEffect{};
  const int32_t n = last - first + 1;
  int32_t cursor = current;
  if (n < ses.SegCount) {
    for (int32_t k = last + 1; k <= ses.SegCount; ++k) ses[k - n] = ses[k];
    ses.SegCount -= n;
    // The cursor keeps its column, which the grid holds within its new width.
    cursor = std::min(current, ses.SegCount);
  } else {
    // Every segment selected: the one under the cursor's end survives, the
    // first when the cursor is on 1, otherwise the last.
    if (current != 1) ses[1] = ses[ses.SegCount];
    ses.SegCount = 1;
    cursor = 1;
  }
  return Changed(std::min(first, ses.SegCount), ses.SegCount, true, cursor, cursor);
}

void CopySeg(const Session& ses, SegmentClipboard& clip, int32_t first, int32_t last) {
  clip.Count = last - first + 1;
  std::copy(ses.SegData.begin() + first, ses.SegData.begin() + last + 1, clip.Segs.begin() + 1);
}

SegOpResult CutSeg(Session& ses, SegmentClipboard& clip, int32_t first, int32_t last,
                   int32_t current) {
  CopySeg(ses, clip, first, last);
  return DelSeg(ses, first, last, current);
}

SegOpResult PasteSeg(Session& ses, const SegmentClipboard& clip, int32_t current) {
  if (ses.SegCount + clip.Count > MaxSegCount) return Refused();
  if (clip.Count == 0) return Changed(0, 0, false, 0, current);
  OpenGap(ses, current, clip.Count);
  std::copy(clip.Segs.begin() + 1, clip.Segs.begin() + clip.Count + 1,
            ses.SegData.begin() + current);
  return Changed(current, ses.SegCount, true, 0, current);
}

int32_t StepValue(int row, int32_t v, StepKind kind) {
  // Per row: lower and upper limit and the fast step. A fast step is taken
  // when it lands within the range (so it can reach the limit exactly: Time
  // 19 -> 23, Pitch 390 -> 400); otherwise the value moves by one towards
  // the limit, and a value at its limit stays.
  struct Limits {
    int32_t lo, hi, big;
  };
  Limits l{};
  switch (row) {
    case RowTime:
      l = {1, 23, 4};
      break;
    case RowMode:
      l = {0, 6, 1};
      break;
    case RowFreqStart:
    case RowFreqEnd:
      l = {1, 48, 5};
      break;
    case RowPitch:
      l = {48, 400, 10};
      break;
    default:
      return v;
  }
  switch (kind) {
    case StepKind::Inc:
      return v < l.hi ? v + 1 : v;
    case StepKind::Dec:
      return v > l.lo ? v - 1 : v;
    case StepKind::FastInc:
      if (v <= l.hi - l.big) return v + l.big;
      return v < l.hi ? v + 1 : v;
    case StepKind::FastDec:
      if (v >= l.lo + l.big) return v - l.big;
      return v > l.lo ? v - 1 : v;
  }
  return v;
}

SegOpResult IncVal(Session& ses, int32_t first, int32_t last, int row) {
  return Step(ses, first, last, row, StepKind::Inc);
}
SegOpResult DecVal(Session& ses, int32_t first, int32_t last, int row) {
  return Step(ses, first, last, row, StepKind::Dec);
}
SegOpResult FastIncVal(Session& ses, int32_t first, int32_t last, int row) {
  return Step(ses, first, last, row, StepKind::FastInc);
}
SegOpResult FastDecVal(Session& ses, int32_t first, int32_t last, int row) {
  return Step(ses, first, last, row, StepKind::FastDec);
}

}  // namespace ovrel
