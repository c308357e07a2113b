// The memory budget: free bytes and the per cent the gauge shows.

#include <gtest/gtest.h>

#include "library/MemoryBudget.h"

namespace ovrel {
namespace {

TEST(MemoryBudget, FreeBytesCountHeaderSessionsAndSegments) {
  EXPECT_EQ(SesMemFreeBytes(0, 0), 2043);
  EXPECT_EQ(SesMemFreeBytes(1, 1), 2033);
  EXPECT_EQ(SesMemFreeBytes(1, 380), 2043 - 5 * 381);
  EXPECT_EQ(SesMemFreeBytes(2, 407), -2);
}

TEST(MemoryBudget, PercentRoundsHalvesToEven) {
  EXPECT_EQ(SesMemPercent(2043), 100);
  EXPECT_EQ(SesMemPercent(2033), 99);
  EXPECT_EQ(SesMemPercent(1024), 50);
  EXPECT_EQ(SesMemPercent(256), 12);   // 12.5
  EXPECT_EQ(SesMemPercent(768), 38);   // 37.5
  EXPECT_EQ(SesMemPercent(1280), 62);  // 62.5
  EXPECT_EQ(SesMemPercent(257), 13);   // 12.55
  EXPECT_EQ(SesMemPercent(10), 0);     // 0.49
  EXPECT_EQ(SesMemPercent(11), 1);     // 0.54
  EXPECT_EQ(SesMemPercent(0), 0);
  EXPECT_EQ(SesMemPercent(2048), 100);
}

TEST(MemoryBudget, LabelText) {
  EXPECT_EQ(AvailMemText(7), "Available memory: 7%");
}

}  // namespace
}  // namespace ovrel
