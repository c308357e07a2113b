#include <gtest/gtest.h>

#include "session/SesTime.h"

namespace ovrel {
namespace {

TEST(TimeText, MinutesAndPaddedSecondsWithOneDecimal) {
  EXPECT_EQ(TimeText(0), "0:00.0");
  EXPECT_EQ(TimeText(15), "0:15.0");
  EXPECT_EQ(TimeText(75), "1:15.0");
  EXPECT_EQ(TimeText(600), "10:00.0");
  EXPECT_EQ(TimeText(131100), "2185:00.0");
  EXPECT_EQ(TimeText(-45), "-0:45.0");
}

TEST(ComputeSessionTimes, OneDefaultSegment) {
  Session ses;
  SesTimeTexts t = ComputeSessionTimes(ses, 1);
  EXPECT_EQ(t.Start, "Segment 1 start time: 0:00.0");
  EXPECT_EQ(t.Total, "Session total time: 1:00.0");
}

TEST(ComputeSessionTimes, StartIsSumOfEarlierSegments) {
  Session ses;
  ses.SegCount = 3;
  ses[1].Time = 1;
  ses[2].Time = 23;
  ses[3].Time = 4;
  EXPECT_EQ(ComputeSessionTimes(ses, 3).Start, "Segment 3 start time: 6:00.0");
  EXPECT_EQ(ComputeSessionTimes(ses, 2).Start, "Segment 2 start time: 0:15.0");
  EXPECT_EQ(ComputeSessionTimes(ses, 2).Total, "Session total time: 7:00.0");
  // Entries above SegCount are stale and never counted.
  ses[4].Time = 9;
  EXPECT_EQ(SesTotalSeconds(ses), 28 * 15);
}

TEST(ComputeSessionTimes, LongestSession) {
  Session ses;
  ses.SegCount = MaxSegCount;
  for (int32_t k = 1; k <= MaxSegCount; ++k) ses[k].Time = 23;
  EXPECT_EQ(ComputeSessionTimes(ses, 380).Start, "Segment 380 start time: 2179:15.0");
  EXPECT_EQ(ComputeSessionTimes(ses, 380).Total, "Session total time: 2185:00.0");
}

}  // namespace
}  // namespace ovrel
