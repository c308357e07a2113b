// The library list: Add, Insert, Remove and Clear with the memory budget.

#include <gtest/gtest.h>

#include "library/LibraryList.h"
#include "library/LibraryTestFiles.h"

namespace ovrel {
namespace {

using Status = LibraryList::Status;

class LibraryListTest : public ::testing::Test {
 protected:
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int k = 0; k < list.Count(); ++k) names.push_back(list.DisplayName(k));
    return names;
  }

  test::TempFolder folder;
  LibraryList list;
};

TEST_F(LibraryListTest, StartsEmptyWithFullMemory) {
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AvailMemLabel(), "Available memory: 100%");
  EXPECT_EQ(list.FreeBytes(), 2043);
}

TEST_F(LibraryListTest, AddRecordsLengthAndSegmentsFromTheSegmentLines) {
  // The total time line says 9:59 but the segments give 23 + 31 + 1 units.
  const auto path = folder.write(
      "a.svs", test::SessionText("9,59,", {"23,1,1,1,1,", "255,1,1,1,1,", "-31,1,1,1,1,"}));
  ASSERT_TRUE(list.Add(path).Ok());
  const auto& e = list.Entry(0);
  EXPECT_EQ(e.FilePath, path);
  EXPECT_EQ(e.NumOfSegs, 3);
  // 23 + 31 + (-31 mod 32 = -31) = 23 units = 345 s.
  EXPECT_EQ(e.Minutes, 5);
  EXPECT_EQ(e.Seconds, 45);
  EXPECT_EQ(list.DisplayName(0), "a.svs");
  EXPECT_EQ(list.AvailMemLabel(), "Available memory: 99%");  // F = 2043 - 20
}

TEST_F(LibraryListTest, NothingSelectedIsIgnoredSilently) {
  const auto path = folder.write("a.svs", test::DefaultSession(1));
  EXPECT_EQ(list.Add(std::nullopt).Outcome, Status::Ignored);
  EXPECT_EQ(list.Insert(path, std::nullopt).Outcome, Status::Ignored);  // empty list
  ASSERT_TRUE(list.Add(path).Ok());
  EXPECT_EQ(list.Insert(std::nullopt, 0).Outcome, Status::Ignored);
  EXPECT_EQ(list.Insert(path, std::nullopt).Outcome, Status::Ignored);
  EXPECT_EQ(list.Remove(std::nullopt).Outcome, Status::Ignored);
  EXPECT_EQ(list.Remove(1).Outcome, Status::Ignored);
  EXPECT_EQ(list.Count(), 1);
}

TEST_F(LibraryListTest, FullLibraryIsReportedBeforeAnythingElse) {
  const auto path = folder.write("a.svs", test::DefaultSession(1));
  for (int k = 0; k < 30; ++k) ASSERT_TRUE(list.Add(path).Ok()) << k;
  const std::string full =
      "Maximum number of sessions in library limit exceeded. No more session can be added to the "
      "library.";
  for (const auto& result : {list.Add(std::nullopt), list.Add(path), list.Insert(std::nullopt, 0),
                             list.Insert(path, std::nullopt), list.Add("/missing.svs")}) {
    EXPECT_EQ(result.Outcome, Status::LibraryFull);
    EXPECT_EQ(result.Message, full);
  }
  EXPECT_EQ(list.Count(), 30);
}

TEST_F(LibraryListTest, SameFileTwiceGivesTwoSessions) {
  const auto path = folder.write("a.svs", test::DefaultSession(2));
  ASSERT_TRUE(list.Add(path).Ok());
  ASSERT_TRUE(list.Add(path).Ok());
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.svs", "a.svs"}));
  EXPECT_EQ(list.FreeBytes(), 2043 - 2 * 5 - 4 * 5);
}

TEST_F(LibraryListTest, InsertGoesBeforeTheSelectedEntry) {
  const auto a = folder.write("a.svs", test::DefaultSession(1));
  const auto b = folder.write("b.svs", test::DefaultSession(2));
  const auto c = folder.write("c.svs", test::DefaultSession(3));
  ASSERT_TRUE(list.Add(a).Ok());
  ASSERT_TRUE(list.Add(b).Ok());
  ASSERT_TRUE(list.Insert(c, 1).Ok());
  ASSERT_TRUE(list.Insert(c, 0).Ok());
  EXPECT_EQ(Names(), (std::vector<std::string>{"c.svs", "a.svs", "c.svs", "b.svs"}));
  EXPECT_EQ(list.Entry(3).NumOfSegs, 2);
  EXPECT_EQ(list.Entry(2).NumOfSegs, 3);
}

TEST_F(LibraryListTest, RemoveClosesTheGapAndRemovingTheLastGivesFullMemory) {
  const auto a = folder.write("a.svs", test::DefaultSession(1));
  const auto b = folder.write("b.svs", test::DefaultSession(2));
  ASSERT_TRUE(list.Add(a).Ok());
  ASSERT_TRUE(list.Add(b).Ok());
  ASSERT_TRUE(list.Remove(0).Ok());
  EXPECT_EQ(Names(), (std::vector<std::string>{"b.svs"}));
  EXPECT_EQ(list.Entry(0).NumOfSegs, 2);
  ASSERT_TRUE(list.Remove(0).Ok());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AvailMemLabel(), "Available memory: 100%");
}

TEST_F(LibraryListTest, ClearEmptiesTheList) {
  ASSERT_TRUE(list.Add(folder.write("a.svs", test::DefaultSession(100))).Ok());
  EXPECT_EQ(list.AvailPercent(), 75);  // F = 2043 - 505 = 1538
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AvailPercent(), 100);
  EXPECT_TRUE(list.Entries().empty());
}

TEST_F(LibraryListTest, OutOfMemoryLeavesTheListAsItWas) {
  const auto big = folder.write("big.svs", test::DefaultSession(380));
  ASSERT_TRUE(list.Add(big).Ok());
  // 1 + 380 + 1 + 26 = 408 units of 5 bytes: F = 3, the last that fits.
  ASSERT_TRUE(list.Add(folder.write("fits.svs", test::DefaultSession(26))).Ok());
  EXPECT_EQ(list.FreeBytes(), 3);
  EXPECT_EQ(list.AvailMemLabel(), "Available memory: 0%");
  list.Remove(1);
  const int percent = list.AvailPercent();
  const auto tooBig = folder.write("toobig.svs", test::DefaultSession(27));
  for (const auto& result : {list.Add(tooBig), list.Insert(tooBig, 0)}) {
    EXPECT_EQ(result.Outcome, Status::OutOfMemory);
    EXPECT_EQ(result.Message, "This session cannot be added to the library. Out of memory.");
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"big.svs"}));
  EXPECT_EQ(list.AvailPercent(), percent);
  // The scratch copy of the failed insert does not leak into the next change.
  ASSERT_TRUE(list.Add(folder.write("one.svs", test::DefaultSession(1))).Ok());
  EXPECT_EQ(list.Entry(0).FilePath, big);
  EXPECT_EQ(list.Entry(1).NumOfSegs, 1);
}

TEST_F(LibraryListTest, MalformedFileIsRefusedWithItsLineAndLeavesTheList) {
  const auto good = folder.write("good.svs", test::DefaultSession(1));
  ASSERT_TRUE(list.Add(good).Ok());
  const auto bad = folder.write("bad.svs", test::SessionText("1,0,", {"36,10,10,100,"}));
  for (const auto& result : {list.Add(bad), list.Insert(bad, 0)}) {
    EXPECT_EQ(result.Outcome, Status::FileError);
    EXPECT_EQ(result.Message,
              bad + ", line 7: the segment line has 4 comma-terminated numbers where five are "
                    "needed");
  }
  EXPECT_EQ(list.Entries(), (std::vector<LibraryEntry>{list.Entry(0)}));
  EXPECT_EQ(list.Entry(0).FilePath, good);
  EXPECT_EQ(list.AvailMemLabel(), "Available memory: 99%");
}

}  // namespace
}  // namespace ovrel
