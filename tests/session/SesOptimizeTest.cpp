#include <gtest/gtest.h>

#include "session/SesOptimize.h"
#include "session/SesTime.h"

namespace ovrel {
namespace {

Segment Steady(int32_t time, int32_t pitch = 100) {
  return Segment{.Time = time, .Mode = 1, .FreqStart = 10, .FreqEnd = 10, .Pitch = pitch};
}

Session Make(std::initializer_list<Segment> segs) {
  Session ses;
  ses.SegCount = 0;
  for (const Segment& s : segs) ses[++ses.SegCount] = s;
  return ses;
}

std::vector<int32_t> Times(const Session& ses) {
  std::vector<int32_t> t;
  for (int32_t k = 1; k <= ses.SegCount; ++k) t.push_back(ses[k].Time);
  return t;
}

TEST(SesOptimize, ThreeTensBecomeTwentyThreeAndSeven) {
  Session st = Make({Steady(10), Steady(10), Steady(10)});
  OptimizeResult r = SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 7}));
  EXPECT_EQ(r.Removed, 1);
  EXPECT_EQ(r.Cursor, 2);  // the run ended the session: clamped onto the last column
}

TEST(SesOptimize, FullPiecesStayAndReorderWithoutModified) {
  Session st = Make({Steady(23), Steady(23)});
  EXPECT_EQ(SesOptimize(st).Removed, 0);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 23}));

  st = Make({Steady(5), Steady(23)});
  OptimizeResult r = SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 5}));
  EXPECT_EQ(r.Removed, 0);
  EXPECT_FALSE(r.Cursor.has_value());
}

TEST(SesOptimize, SweepsAndDifferentPitchesOrModesAreNotMerged) {
  Segment sweep = Steady(4);
  sweep.FreqEnd = 12;
  Session st = Make({Steady(4), sweep, sweep, Steady(4), Steady(4, 101)});
  EXPECT_EQ(SesOptimize(st).Removed, 0);
  EXPECT_EQ(st.SegCount, 5);

  // Two steady neighbours that differ only in their mode stimulate
  // differently: merging them would change the session.
  Segment otherMode = Steady(4);
  otherMode.Mode = 2;
  st = Make({Steady(4), otherMode});
  EXPECT_EQ(SesOptimize(st).Removed, 0);
  ASSERT_EQ(st.SegCount, 2);
  EXPECT_EQ(st[2].Mode, 2);
}

TEST(SesOptimize, SeveralRunsKeepTotalAndNeighbours) {
  Segment sweep = Steady(3);
  sweep.FreqStart = 20;
  Session st = Make(
      {Steady(4), Steady(4), sweep, Steady(2, 200), Steady(2, 200), Steady(2, 200), Steady(9)});
  const std::string before = ComputeSessionTimes(st, 1).Total;
  OptimizeResult r = SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{8, 3, 6, 9}));
  EXPECT_EQ(st[2], sweep);
  EXPECT_EQ(st[3].Pitch, 200);
  EXPECT_EQ(ComputeSessionTimes(st, 1).Total, before);
  EXPECT_EQ(r.Removed, 3);
  EXPECT_EQ(r.Cursor, 4);  // first segment after the last run that lost segments
}

TEST(SesOptimize, LongRunSplitsIntoFullPieces) {
  Session st = Make({Steady(20), Steady(20), Steady(20), Steady(20), Steady(1, 50)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 23, 23, 11, 1}));
}

TEST(SesOptimize, RunWithTimesAbove23StaysWithinItself) {
  // 31 + 30 + 24 = 85 units cannot be written as pieces of at most 23 in
  // three segments: the run keeps its three segments and shares the total.
  Session st = Make({Steady(31), Steady(30), Steady(24), Steady(5, 300)});
  EXPECT_EQ(SesOptimize(st).Removed, 0);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{29, 28, 28, 5}));
  EXPECT_EQ(st[4].Pitch, 300);

  // When the pieces do fit, a long segment is split as usual.
  st = Make({Steady(31), Steady(1), Steady(1)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{23, 10}));
}

TEST(SesOptimize, RunWithoutPositiveTotalIsLeftAlone) {
  Session st = Make({Steady(0), Steady(0)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{0, 0}));
  st = Make({Steady(-3), Steady(2), Steady(4, 99)});
  SesOptimize(st);
  EXPECT_EQ(Times(st), (std::vector<int32_t>{-3, 2, 4}));
}

TEST(SesOptimize, WholeMaximalSessionMerges) {
  Session st;
  st.SegCount = MaxSegCount;
  for (int32_t k = 1; k <= MaxSegCount; ++k) st[k] = Steady(1);
  SesOptimize(st);
  EXPECT_EQ(st.SegCount, 17);  // 380 = 16 x 23 + 12
  EXPECT_EQ(st[17].Time, 12);
  EXPECT_EQ(SesTotalSeconds(st), 380 * 15);
}

}  // namespace
}  // namespace ovrel
