#include <gtest/gtest.h>

#include "session/Segment.h"
#include "session/SessionName.h"

namespace ovrel {
namespace {

TEST(SegmentTexts, DefaultSegmentColumn) {
  const Segment seg;
  const char* expected[] = {"7", "1:00", "IN", "10", "10", "100"};
  for (int row = 0; row < SegRowCount; ++row) EXPECT_EQ(SegCellText(seg, 7, row), expected[row]);
}

TEST(SegmentTexts, TimeShowsMinutesAndTwoDigitSeconds) {
  EXPECT_EQ(SegTimeText(1), "0:15");
  EXPECT_EQ(SegTimeText(4), "1:00");
  EXPECT_EQ(SegTimeText(23), "5:45");
  EXPECT_EQ(SegTimeText(31), "7:45");
  EXPECT_EQ(SegTimeText(0), "0:00");
  EXPECT_EQ(SegTimeText(-1), "-0:15");
}

TEST(SegmentTexts, ModesAndModesOutsideTheTableShowTheirNumber) {
  const char* modes[] = {"LR", "IN", "FB", "CR", "LA", "SA", "SL"};
  for (int m = 0; m <= 6; ++m) EXPECT_EQ(ModeText(m), modes[m]);
  EXPECT_EQ(ModeText(7), "7");
  EXPECT_EQ(ModeText(-2), "-2");
}

TEST(SegmentTexts, SesNameDropsFolderAndExtension) {
  EXPECT_EQ(SesNameFromFileName("/home/u/Sessions/Relax.svs"), "Relax");
  EXPECT_EQ(SesNameFromFileName("FOCUS.SVS"), "FOCUS");
  EXPECT_EQ(SesNameFromFileName("/x/.svs"), "");
  EXPECT_EQ(SesNameFromFileName(""), "");
}

}  // namespace
}  // namespace ovrel
