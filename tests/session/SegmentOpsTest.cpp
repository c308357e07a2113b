#include <gtest/gtest.h>

#include "session/SegmentOps.h"

namespace ovrel {
namespace {

// A session of n segments whose Pitch is 100 + k, so moves can be traced.
SessionEditState Numbered(int32_t n) {
  SessionEditState st;
  st.Ses.SegCount = n;
  for (int32_t k = 1; k <= n; ++k) {
    FillDefSeg(st.Ses, k);
    st.Ses[k].Pitch = 100 + k;
  }
  return st;
}

std::vector<int32_t> Pitches(const SessionEditState& st) {
  std::vector<int32_t> p;
  for (int32_t k = 1; k <= st.Ses.SegCount; ++k) p.push_back(st.Ses[k].Pitch);
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

TEST(ValueOps, StepEverySelectedSegmentAndSetModifiedAtALimit) {
  SessionEditState st = Numbered(4);
  st.Ses[2].Mode = 6;
  st.Ses[3].Mode = 6;
  SegOpResult r = IncVal(st, 2, 3, RowMode);
  EXPECT_TRUE(st.SesModified);
  EXPECT_EQ(st.Ses[2].Mode, 6);
  EXPECT_EQ(r.RefreshFrom, 2);
  EXPECT_EQ(r.RefreshTo, 3);
  EXPECT_EQ(r.TimesColumn, 0);  // not the Time row

  r = FastIncVal(st, 1, 3, RowPitch);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{111, 112, 113, 104}));
  r = DecVal(st, 2, 4, RowTime);
  EXPECT_EQ(st.Ses[1].Time, 4);
  EXPECT_EQ(st.Ses[4].Time, 3);
  EXPECT_EQ(r.TimesColumn, 4);  // the times of the last stepped segment stay on show
}

TEST(AddAndInsert, AppendAndInsertDefaults) {
  SessionEditState st = Numbered(2);
  SegOpResult r = AddNewSeg(st, 1);
  ASSERT_TRUE(r.Ok());
  EXPECT_TRUE(st.SesModified);
  EXPECT_EQ(st.Ses.SegCount, 3);
  EXPECT_EQ(st.Ses[3], Segment{});
  EXPECT_TRUE(r.CountChanged);
  EXPECT_EQ(r.TimesColumn, 1);

  r = InsSeg(st, 1);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{100, 101, 102, 100}));
  EXPECT_EQ(r.Cursor, 1);
  EXPECT_EQ(r.RefreshFrom, 1);
  EXPECT_EQ(r.RefreshTo, 4);
}

TEST(AddAndInsert, RefusedAtTheLimitWithoutAnyChange) {
  SessionEditState st = Numbered(MaxSegCount);
  for (auto op : {+[](SessionEditState& s) { return AddNewSeg(s, 1); },
                  +[](SessionEditState& s) { return InsSeg(s, 5); }}) {
    SegOpResult r = op(st);
    EXPECT_EQ(r.Error, "Maximum number of segments in session is 380");
    EXPECT_EQ(st.Ses.SegCount, MaxSegCount);
    EXPECT_FALSE(st.SesModified);
    EXPECT_EQ(st.Ses[5].Pitch, 105);
  }
}

TEST(Delete, MiddleRangeClosesUp) {
  SessionEditState st = Numbered(6);
  SegOpResult r = DelSeg(st, 2, 4, 4);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{101, 105, 106}));
  EXPECT_EQ(r.Cursor, 3);  // the cursor keeps its column within the new width
  EXPECT_EQ(r.TimesColumn, 3);
  EXPECT_TRUE(st.SesModified);
}

TEST(Delete, AllSelectedKeepsFirstOrLast) {
  SessionEditState st = Numbered(5);
  SegOpResult r = DelSeg(st, 1, 5, 1);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{101}));
  EXPECT_EQ(r.Cursor, 1);

  st = Numbered(5);
  r = DelSeg(st, 1, 5, 5);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{105}));
  EXPECT_EQ(r.Cursor, 1);
  EXPECT_TRUE(st.SesModified);
}

TEST(Delete, SingleSegmentIsIgnoredSilently) {
  SessionEditState st = Numbered(1);
  SegOpResult r = DelSeg(st, 1, 1, 1);
  EXPECT_TRUE(r.Ok());
  EXPECT_FALSE(st.SesModified);
  EXPECT_EQ(st.Ses.SegCount, 1);
}

TEST(Clipboard, CopyLeavesModifiedCutCopiesAllButKeepsOne) {
  SessionEditState st = Numbered(3);
  CopySeg(st, 2, 3);
  EXPECT_FALSE(st.SesModified);
  EXPECT_EQ(st.ClipCount, 2);
  EXPECT_EQ(st.SegClipboard[1].Pitch, 102);

  CutSeg(st, 1, 3, 3);
  EXPECT_EQ(st.ClipCount, 3);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{103}));
  EXPECT_TRUE(st.SesModified);
}

TEST(Clipboard, PasteInsertsBeforeCursorAndCanRepeat) {
  SessionEditState st = Numbered(3);
  CopySeg(st, 1, 2);
  SegOpResult r = PasteSeg(st, 2);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{101, 101, 102, 102, 103}));
  EXPECT_EQ(r.RefreshFrom, 2);
  EXPECT_EQ(r.RefreshTo, 5);
  PasteSeg(st, 1);
  EXPECT_EQ(st.Ses.SegCount, 7);
  EXPECT_EQ(st.ClipCount, 2);
}

TEST(Clipboard, EmptyPasteSetsModifiedOnly) {
  SessionEditState st = Numbered(2);
  SegOpResult r = PasteSeg(st, 1);
  EXPECT_TRUE(r.Ok());
  EXPECT_TRUE(st.SesModified);
  EXPECT_EQ(Pitches(st), (std::vector<int32_t>{101, 102}));
}

TEST(Clipboard, PasteUpToTheLimit) {
  SessionEditState st = Numbered(378);
  CopySeg(st, 1, 3);
  SegOpResult r = PasteSeg(st, 1);
  EXPECT_EQ(r.Error, kMaxSegCountError);
  EXPECT_EQ(st.Ses.SegCount, 378);
  EXPECT_FALSE(st.SesModified);

  DelSeg(st, 1, 1, 1);
  st.SesModified = false;
  r = PasteSeg(st, 377);
  ASSERT_TRUE(r.Ok());
  EXPECT_EQ(st.Ses.SegCount, 380);
  EXPECT_EQ(st.Ses[377].Pitch, 101);
  EXPECT_EQ(st.Ses[380].Pitch, 478);
}

TEST(New, ResetsSessionKeepsClipboardAndName) {
  SessionEditState st = Numbered(4);
  CopySeg(st, 1, 4);
  st.SesModified = true;
  st.SesFileName = "/x/a.svs";
  st.SesName = "a";
  StartNewSession(st);
  EXPECT_EQ(st.Ses.SegCount, 1);
  EXPECT_EQ(st.Ses[1], Segment{});
  EXPECT_FALSE(st.SesModified);
  EXPECT_EQ(st.SesFileName, "");
  EXPECT_EQ(st.SesName, "a");
  EXPECT_EQ(st.ClipCount, 4);
}

}  // namespace
}  // namespace ovrel
