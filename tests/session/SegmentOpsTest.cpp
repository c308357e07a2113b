#include <gtest/gtest.h>

#include "session/SegmentOps.h"

namespace ovrel {
namespace {

// A session of n segments whose Pitch is 100 + k, so moves can be traced.
Session Numbered(int32_t n) {
  Session ses;
  ses.SegCount = n;
  for (int32_t k = 1; k <= n; ++k) {
    FillDefSeg(ses, k);
    ses[k].Pitch = 100 + k;
  }
  return ses;
}

std::vector<int32_t> Pitches(const Session& ses) {
  std::vector<int32_t> p;
  for (int32_t k = 1; k <= ses.SegCount; ++k) p.push_back(ses[k].Pitch);
  return p;
}

TEST(StepValue, TimeEdges) {
  EXPECT_EQ(StepValue(RowTime, 19, StepKind::FastInc), 23);
  EXPECT_EQ(StepValue(RowTime, 20, StepKind::FastInc), 21);
  EXPECT_EQ(StepValue(RowTime, 22, StepKind::FastInc), 23);
  EXPECT_EQ(StepValue(RowTime, 23, StepKind::FastInc), 23);
  EXPECT_EQ(StepValue(RowTime, 23, StepKind::Inc), 23);
  EXPECT_EQ(StepValue(RowTime, 5, StepKind::FastDec), 1);
  EXPECT_EQ(StepValue(RowTime, 4, StepKind::FastDec), 3);
  EXPECT_EQ(StepValue(RowTime, 1, StepKind::Dec), 1);
  EXPECT_EQ(StepValue(RowTime, 1, StepKind::FastDec), 1);
}

TEST(StepValue, ModeEdges) {
  for (StepKind up : {StepKind::Inc, StepKind::FastInc}) {
    EXPECT_EQ(StepValue(RowMode, 5, up), 6);
    EXPECT_EQ(StepValue(RowMode, 6, up), 6);
  }
  for (StepKind down : {StepKind::Dec, StepKind::FastDec}) {
    EXPECT_EQ(StepValue(RowMode, 1, down), 0);
    EXPECT_EQ(StepValue(RowMode, 0, down), 0);
  }
}

TEST(StepValue, FrequencyEdges) {
  for (int row : {RowFreqStart, RowFreqEnd}) {
    EXPECT_EQ(StepValue(row, 43, StepKind::FastInc), 48);
    EXPECT_EQ(StepValue(row, 44, StepKind::FastInc), 45);
    EXPECT_EQ(StepValue(row, 48, StepKind::Inc), 48);
    EXPECT_EQ(StepValue(row, 6, StepKind::FastDec), 1);
    EXPECT_EQ(StepValue(row, 5, StepKind::FastDec), 4);
    EXPECT_EQ(StepValue(row, 1, StepKind::Dec), 1);
  }
}

TEST(StepValue, PitchEdges) {
  EXPECT_EQ(StepValue(RowPitch, 390, StepKind::FastInc), 400);
  EXPECT_EQ(StepValue(RowPitch, 391, StepKind::FastInc), 392);
  EXPECT_EQ(StepValue(RowPitch, 400, StepKind::Inc), 400);
  EXPECT_EQ(StepValue(RowPitch, 57, StepKind::FastDec), 56);
  EXPECT_EQ(StepValue(RowPitch, 58, StepKind::FastDec), 48);
  EXPECT_EQ(StepValue(RowPitch, 48, StepKind::Dec), 48);
}

TEST(StepValue, OutOfRangeValuesOnlyMoveTowardsTheirRange) {
  EXPECT_EQ(StepValue(RowTime, 31, StepKind::FastInc), 31);
  EXPECT_EQ(StepValue(RowTime, 31, StepKind::Dec), 30);
  EXPECT_EQ(StepValue(RowMode, 7, StepKind::Inc), 7);
  EXPECT_EQ(StepValue(RowPitch, 30, StepKind::Dec), 30);
  EXPECT_EQ(StepValue(RowPitch, 30, StepKind::FastInc), 40);
  EXPECT_EQ(StepValue(RowTime, INT32_MIN, StepKind::Dec), INT32_MIN);
  EXPECT_EQ(StepValue(RowTime, INT32_MAX, StepKind::Inc), INT32_MAX);
}

TEST(ValueOps, StepEverySelectedSegmentAndModifyAtALimit) {
  Session ses = Numbered(4);
  ses[2].Mode = 6;
  ses[3].Mode = 6;
  SegOpResult r = IncVal(ses, 2, 3, RowMode);
  EXPECT_TRUE(r->Modifies);
  EXPECT_EQ(ses[2].Mode, 6);
  EXPECT_EQ(r->RefreshFrom, 2);
  EXPECT_EQ(r->RefreshTo, 3);
  EXPECT_EQ(r->TimesColumn, 0);  // not the Time row

  r = FastIncVal(ses, 1, 3, RowPitch);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{111, 112, 113, 104}));
  r = DecVal(ses, 2, 4, RowTime);
  EXPECT_EQ(ses[1].Time, 4);
  EXPECT_EQ(ses[4].Time, 3);
  EXPECT_EQ(r->TimesColumn, 4);  // the times of the last stepped segment stay on show
}

TEST(AddAndInsert, AppendAndInsertDefaults) {
  Session ses = Numbered(2);
  SegOpResult r = AddNewSeg(ses, 1);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->Modifies);
  EXPECT_EQ(ses.SegCount, 3);
  EXPECT_EQ(ses[3], Segment{});
  EXPECT_TRUE(r->CountChanged);
  EXPECT_EQ(r->TimesColumn, 1);

  r = InsSeg(ses, 1);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{100, 101, 102, 100}));
  EXPECT_EQ(r->Cursor, 1);
  EXPECT_EQ(r->RefreshFrom, 1);
  EXPECT_EQ(r->RefreshTo, 4);
}

TEST(AddAndInsert, RefusedAtTheLimitWithoutAnyChange) {
  Session ses = Numbered(MaxSegCount);
  for (auto op :
       {+[](Session& s) { return AddNewSeg(s, 1); }, +[](Session& s) { return InsSeg(s, 5); }}) {
    SegOpResult r = op(ses);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.Kind(), Fault::TooMany);
    EXPECT_EQ(r.Error(), "Maximum number of segments in session is 380");
    EXPECT_EQ(ses.SegCount, MaxSegCount);
    EXPECT_EQ(ses[5].Pitch, 105);
  }
}

TEST(Delete, MiddleRangeClosesUp) {
  Session ses = Numbered(6);
  SegOpResult r = DelSeg(ses, 2, 4, 4);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{101, 105, 106}));
  EXPECT_EQ(r->Cursor, 3);  // the cursor keeps its column within the new width
  EXPECT_EQ(r->TimesColumn, 3);
  EXPECT_TRUE(r->Modifies);
}

TEST(Delete, AllSelectedKeepsFirstOrLast) {
  Session ses = Numbered(5);
  SegOpResult r = DelSeg(ses, 1, 5, 1);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{101}));
  EXPECT_EQ(r->Cursor, 1);

  ses = Numbered(5);
  r = DelSeg(ses, 1, 5, 5);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{105}));
  EXPECT_EQ(r->Cursor, 1);
  EXPECT_TRUE(r->Modifies);
}

TEST(Delete, SingleSegmentIsIgnoredSilently) {
  Session ses = Numbered(1);
  SegOpResult r = DelSeg(ses, 1, 1, 1);
  EXPECT_TRUE(r);
  EXPECT_FALSE(r->Modifies);
  EXPECT_EQ(ses.SegCount, 1);
}

TEST(Clipboard, CopyLeavesTheSessionCutCopiesAllButKeepsOne) {
  Session ses = Numbered(3);
  SegmentClipboard clip;
  CopySeg(ses, clip, 2, 3);
  EXPECT_EQ(clip.Count, 2);
  EXPECT_EQ(clip.Segs[1].Pitch, 102);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{101, 102, 103}));

  const SegOpResult r = CutSeg(ses, clip, 1, 3, 3);
  EXPECT_EQ(clip.Count, 3);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{103}));
  EXPECT_TRUE(r->Modifies);
}

TEST(Clipboard, PasteInsertsBeforeCursorAndCanRepeat) {
  Session ses = Numbered(3);
  SegmentClipboard clip;
  CopySeg(ses, clip, 1, 2);
  SegOpResult r = PasteSeg(ses, clip, 2);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{101, 101, 102, 102, 103}));
  EXPECT_EQ(r->RefreshFrom, 2);
  EXPECT_EQ(r->RefreshTo, 5);
  ASSERT_TRUE(PasteSeg(ses, clip, 1));
  EXPECT_EQ(ses.SegCount, 7);
  EXPECT_EQ(clip.Count, 2);
}

TEST(Clipboard, EmptyPasteOnlyModifies) {
  Session ses = Numbered(2);
  SegOpResult r = PasteSeg(ses, SegmentClipboard{}, 1);
  EXPECT_TRUE(r);
  EXPECT_TRUE(r->Modifies);
  EXPECT_EQ(Pitches(ses), (std::vector<int32_t>{101, 102}));
}

TEST(Clipboard, PasteUpToTheLimit) {
  Session ses = Numbered(378);
  SegmentClipboard clip;
  CopySeg(ses, clip, 1, 3);
  SegOpResult r = PasteSeg(ses, clip, 1);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::TooMany);
  EXPECT_EQ(ses.SegCount, 378);

  ASSERT_TRUE(DelSeg(ses, 1, 1, 1));
  r = PasteSeg(ses, clip, 377);
  ASSERT_TRUE(r);
  EXPECT_EQ(ses.SegCount, 380);
  EXPECT_EQ(ses[377].Pitch, 101);
  EXPECT_EQ(ses[380].Pitch, 478);
}

TEST(New, ResetsTheSessionToOneDefaultSegment) {
  Session ses = Numbered(4);
  StartNewSession(ses);
  EXPECT_EQ(ses.SegCount, 1);
  EXPECT_EQ(ses[1], Segment{});
}

}  // namespace
}  // namespace ovrel
