#include <gtest/gtest.h>

#include "session/SesOptimize.h"
#include "session/SesTime.h"

namespace ovrel {
namespace {

Segment Steady(int32_t time, int32_t pitch = 100) {
  return Segment{.Time = time, .Mode = 1, .FreqStart = 10, .FreqEnd = 10, .Pitch = pitch};
}

SessionEditState Make(std::initializer_list<Segment> segs) {
  SessionEditState st;
  st.Ses.SegCount = 0;
  for (const Segment& s : segs) st.Ses[++st.Ses.SegCount] = s;
  return st;
}

std::vector<int32_t> Times(const SessionEditState& st) {
  std::vector<int32_t> t;
  for (int32_t k = 1; k <= st.Ses.SegCount; ++k) t.push_back(st.Ses[k].Time);
  return t;
}

TEST(SesOptimize, ThreeTensBecomeTwentyThreeAndSeven) {
  SessionEditState st = Make({Steady(10), Steady(10), Steady(10)});
  OptimizeResult r = SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 7}));
  EXPECT_TRUE(st.SesModified);
  EXPECT_EQ(r.Removed, 1);
  EXPECT_EQ(r.Cursor, 2);  // the run ended the session: clamped onto the last column
}

TEST(SesOptimize, FullPiecesStayAndReorderWithoutModified) {
  SessionEditState st = Make({Steady(23), Steady(23)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 23}));
  EXPECT_FALSE(st.SesModified);

  st = Make({Steady(5), Steady(23)});
  OptimizeResult r = SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 5}));
  EXPECT_FALSE(st.SesModified);
  EXPECT_FALSE(r.Cursor.has_value());
}

TEST(SesOptimize, SweepsAndDifferentPitchesOrModesAreNotMerged) {
  Segment sweep = Steady(4);
  sweep.FreqEnd = 12;
  SessionEditState st = Make({Steady(4), sweep, sweep, Steady(4), Steady(4, 101)});
  SesOptimize(st);
  EXPECT_EQ(st.Ses.SegCount, 5);
  EXPECT_FALSE(st.SesModified);

  // Two steady neighbours that differ only in their mode stimulate
  // differently: merging them would change the session.
  Segment otherMode = Steady(4);
  otherMode.Mode = 2;
  st = Make({Steady(4), otherMode});
  SesOptimize(st);
  ASSERT_EQ(st.Ses.SegCount, 2);
  EXPECT_EQ(st.Ses[2].Mode, 2);
  EXPECT_FALSE(st.SesModified);
}

TEST(SesOptimize, SeveralRunsKeepTotalAndNeighbours) {
  Segment sweep = Steady(3);
  sweep.FreqStart = 20;
  SessionEditState st = Make(
      {Steady(4), Steady(4), sweep, Steady(2, 200), Steady(2, 200), Steady(2, 200), Steady(9)});
  const std::string before = ComputeSessionTimes(st.Ses, 1).Total;
  OptimizeResult r = SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{8, 3, 6, 9}));
  EXPECT_EQ(st.Ses[2], sweep);
  EXPECT_EQ(st.Ses[3].Pitch, 200);
  EXPECT_EQ(ComputeSessionTimes(st.Ses, 1).Total, before);
  EXPECT_EQ(r.Removed, 3);
  EXPECT_EQ(r.Cursor, 4);  // first segment after the last run that lost segments
}

TEST(SesOptimize, LongRunSplitsIntoFullPieces) {
  SessionEditState st = Make({Steady(20), Steady(20), Steady(20), Steady(20), Steady(1, 50)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 23, 23, 11, 1}));
}

TEST(SesOptimize, RunWithTimesAbove23StaysWithinItself) {
  // 31 + 30 + 24 = 85 units cannot be written as pieces of at most 23 in
  // three segments: the run keeps its three segments and shares the total.
  SessionEditState st = Make({Steady(31), Steady(30), Steady(24), Steady(5, 300)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{29, 28, 28, 5}));
  EXPECT_EQ(st.Ses[4].Pitch, 300);
  EXPECT_FALSE(st.SesModified);

  // When the pieces do fit, a long segment is split as usual.
  st = Make({Steady(31), Steady(1), Steady(1)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 10}));
}

TEST(SesOptimize, RunWithoutPositiveTotalIsLeftAlone) {
  SessionEditState st = Make({Steady(0), Steady(0)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{0, 0}));
  st = Make({Steady(-3), Steady(2), Steady(4, 99)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{-3, 2, 4}));
}

TEST(SesOptimize, WholeMaximalSessionMerges) {
  SessionEditState st;
  st.Ses.SegCount = MaxSegCount;
  for (int32_t k = 1; k <= MaxSegCount; ++k) st.Ses[k] = Steady(1);
  SesOptimize(st);
  EXPECT_EQ(st.Ses.SegCount, 17);  // 380 = 16 x 23 + 12
  EXPECT_EQ(st.Ses[17].Time, 12);
  EXPECT_EQ(SesTotalSeconds(st.Ses), 380 * 15);
}

}  // namespace
}  // namespace ovrel
