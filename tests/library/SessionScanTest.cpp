// Reading session files the way the library compiler does.

#include <gtest/gtest.h>

#include "library/LibraryTestFiles.h"
#include "library/SessionScan.h"

namespace ovrel {
namespace {

using test::SessionText;

// The failure that scanning `text` (as file "s.svs") gives.
Failure ScanFailure(const std::string& text) {
  const SessionScanRead read = ScanSessionText(text, "s.svs");
  EXPECT_FALSE(read);
  return read ? Failure{} : read.Failed();
}

// The scan of a text that must be accepted.
SessionScan Scanned(const std::string& text, const std::string& name) {
  SessionScanRead read = ScanSessionText(text, name);
  EXPECT_TRUE(read) << read.Error();
  return read ? std::move(*read) : SessionScan{};
}

TEST(SessionScan, ReadsTotalTimeAndSegmentNumbers) {
  const auto scan =
      Scanned(SessionText("2,15,", {"36,10,10,100,100,", "-3,140,148,44,44,"}), "s.svs");
  EXPECT_EQ(scan.TotalTime, (std::array<std::int32_t, 2>{2, 15}));
  ASSERT_EQ(scan.Segments.size(), 2u);
  EXPECT_EQ(scan.Segments[1], (std::array<std::int32_t, 5>{-3, 140, 148, 44, 44}));
  // Time is the first number mod 32, with the sign of the number: 4 + (-3).
  EXPECT_EQ(scan.TimeUnits, 1);
}

TEST(SessionScan, CommentsLinesBeforeVersionAndBareLineFeedsReadTheSame) {
  const auto plain = Scanned(SessionText("1,0,", {"36,1,2,3,4,", "63,5,6,7,8,"}), "a");
  const std::string commented =
      "anything at all\n0,\nversion=22\nversion=23\n# rule\n#another\n1,0,\n#c\n36,1,2,3,4,\n"
      "# between\n#\n63,5,6,7,8,extra text after the fifth comma\n# before the end\n0,\ntail\n";
  const auto scan = Scanned(commented, "b");
  EXPECT_EQ(scan.Segments, plain.Segments);
  EXPECT_EQ(scan.TimeUnits, 4 + 31);
}

TEST(SessionScan, TheLineAfterTheVersionLineIsTheTotalTimeLineWhenItIsNoComment) {
  const auto scan = Scanned("version=23\n3,45,\n36,1,2,3,4,\n0,\n", "s");
  EXPECT_EQ(scan.TotalTime, (std::array<std::int32_t, 2>{3, 45}));
  EXPECT_EQ(scan.Segments.size(), 1u);
}

TEST(SessionScan, TotalTimeLineOfLessThanAMinuteIsNotTheEndLine) {
  const auto scan = Scanned(SessionText("0,15,", {"33,10,10,100,100,"}), "s");
  EXPECT_EQ(scan.TotalTime, (std::array<std::int32_t, 2>{0, 15}));
  EXPECT_EQ(scan.Segments.size(), 1u);
}

TEST(SessionScan, EmptySessionHasNoSegments) {
  EXPECT_TRUE(Scanned(SessionText("0,0,", {}), "s").Segments.empty());
}

TEST(SessionScan, AcceptsTheInt32Limits) {
  auto scan =
      Scanned(SessionText("1,0,", {"-2147483647,10,10,2147483647,-2147483648,"}), "s");
  EXPECT_EQ(scan.Segments[0][4], INT32_MIN);

}

// The line rules are the session reader's; the compiler sees its refusals
// as errors that name the file and the line.
TEST(SessionScan, RefusalsOfTheSessionReaderAreErrors) {
  struct Case {
    std::string Text;
    std::string Line;
  };
  for (const Case& c : {
           Case{SessionText("1,0,", {"256,10,10,100,100,"}), "line 7"},
           Case{"version=23\n#\n", "line 3"},
           // The compiler takes the total time line's numbers into the image:
           // a line that holds none is refused here, though the editor opens
           // the file.
           Case{"version=23\nx,\n36,10,10,100,100,\n0,\n", "line 2"},
       }) {
    const Failure failed = ScanFailure(c.Text);
    EXPECT_EQ(failed.Kind, Fault::Syntax) << c.Text;
    EXPECT_TRUE(failed.Text.starts_with("s.svs, " + c.Line + ": ")) << failed.Text;
  }
}

}  // namespace
}  // namespace ovrel
