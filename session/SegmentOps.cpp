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

SegOpResult Refused() {
  SegOpResult r;
  r.Error = kMaxSegCountError;
  return r;
}

SegOpResult Changed(int32_t from, int32_t to, bool countChanged, int32_t cursor,
                    int32_t timeCompCol) {
  SegOpResult r;
  r.RefreshFrom = from;
  r.RefreshTo = to;
  r.CountChanged = countChanged;
  r.Cursor = cursor;
  r.TimesColumn = timeCompCol;
  return r;
}

SegOpResult Step(SessionEditState& st, int32_t first, int32_t last, int row, StepKind kind) {
  for (int32_t k = first; k <= last; ++k) {
    int32_t& v = SegField(st.Ses[k], row);
    v = StepValue(row, v, kind);
  }
  st.SesModified = true;
  SegOpResult r;
  r.RefreshFrom = first;
  r.RefreshTo = last;
  // The editor recomputes the times after each stepped segment, so the last
  // one is what remains on show.
  if (row == RowTime) r.TimesColumn = last;
  return r;
}

}  // namespace

void StartNewSession(SessionEditState& st) {
  st.Ses.SegCount = 1;
  FillDefSeg(st.Ses, 1);
  st.SesFileName.clear();
  st.SesModified = false;
}

SegOpResult AddNewSeg(SessionEditState& st, int32_t current) {
  if (st.Ses.SegCount >= MaxSegCount) return Refused();
  st.Ses.SegCount += 1;
  FillDefSeg(st.Ses, st.Ses.SegCount);
  st.SesModified = true;
  return Changed(st.Ses.SegCount, st.Ses.SegCount, true, 0, current);
}

SegOpResult InsSeg(SessionEditState& st, int32_t current) {
  if (st.Ses.SegCount >= MaxSegCount) return Refused();
  OpenGap(st.Ses, current, 1);
  FillDefSeg(st.Ses, current);
  st.SesModified = true;
  return Changed(current, st.Ses.SegCount, true, current, current);
}

SegOpResult DelSeg(SessionEditState& st, int32_t first, int32_t last, int32_t current) {
  Session& ses = st.Ses;
  if (ses.SegCount < 2) return {};
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
  st.SesModified = true;
  return Changed(std::min(first, ses.SegCount), ses.SegCount, true, cursor, cursor);
}

void CopySeg(SessionEditState& st, int32_t first, int32_t last) {
  st.ClipCount = last - first + 1;
  std::copy(st.Ses.SegData.begin() + first, st.Ses.SegData.begin() + last + 1,
            st.SegClipboard.begin() + 1);
}

SegOpResult CutSeg(SessionEditState& st, int32_t first, int32_t last, int32_t current) {
  CopySeg(st, first, last);
  return DelSeg(st, first, last, current);
}

SegOpResult PasteSeg(SessionEditState& st, int32_t current) {
  if (st.Ses.SegCount + st.ClipCount > MaxSegCount) return Refused();
  st.SesModified = true;
  if (st.ClipCount == 0) return Changed(0, 0, false, 0, current);
  OpenGap(st.Ses, current, st.ClipCount);
  std::copy(st.SegClipboard.begin() + 1, st.SegClipboard.begin() + st.ClipCount + 1,
            st.Ses.SegData.begin() + current);
  return Changed(current, st.Ses.SegCount, true, 0, current);
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

SegOpResult IncVal(SessionEditState& st, int32_t first, int32_t last, int row) {
  return Step(st, first, last, row, StepKind::Inc);
}
SegOpResult DecVal(SessionEditState& st, int32_t first, int32_t last, int row) {
  return Step(st, first, last, row, StepKind::Dec);
}
SegOpResult FastIncVal(SessionEditState& st, int32_t first, int32_t last, int row) {
  return Step(st, first, last, row, StepKind::FastInc);
}
SegOpResult FastDecVal(SessionEditState& st, int32_t first, int32_t last, int row) {
  return Step(st, first, last, row, StepKind::FastDec);
}

}  // namespace ovrel
