// Session totals: mode shares that add up, modes from damaged files kept
// apart, and frequency ranges from sweeps in either direction.

#include <gtest/gtest.h>

#include "session/SessionSummary.h"

namespace ovrel {
namespace {

TEST(SessionSummaryTest, SharesRangesAndModesOutsideTheTable) {
  Session ses;
  ses.SegCount = 4;
  ses[1] = {4, 1, 30, 12, 100};   // IN, falling sweep
  ses[2] = {8, 2, 12, 12, 250};   // FB
  ses[3] = {4, 1, 5, 48, 60};     // IN, rising sweep
  ses[4] = {4, 7, 20, 20, 400};   // a mode only a file can hold
  const SessionSummary s = Summarize(ses);
  EXPECT_EQ(s.TotalSeconds, 20 * 15);
  EXPECT_EQ(s.SegCount, 4);
  EXPECT_DOUBLE_EQ(ModeShare(s, 1), 0.4);
  EXPECT_DOUBLE_EQ(ModeShare(s, 2), 0.4);
  EXPECT_DOUBLE_EQ(ModeShare(s, 0), 0.0);
  EXPECT_EQ(s.OtherModeSeconds, 60);
  EXPECT_DOUBLE_EQ(ModeShare(s, 7), 0.0) << "no share for a mode outside the table";
  EXPECT_EQ(s.FreqMin, 5);
  EXPECT_EQ(s.FreqMax, 48);
  EXPECT_EQ(s.PitchMin, 60);
  EXPECT_EQ(s.PitchMax, 400);
  // Stale entries above SegCount are not part of the session.
  ses.SegCount = 1;
  const SessionSummary one = Summarize(ses);
  EXPECT_EQ(one.FreqMin, 12);
  EXPECT_EQ(one.FreqMax, 30);
  EXPECT_DOUBLE_EQ(ModeShare(one, 1), 1.0);
}

}  // namespace
}  // namespace ovrel
