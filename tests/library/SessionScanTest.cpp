// Reading session files the way the library compiler does.

#include <gtest/gtest.h>

#include "library/LibraryTestFiles.h"
#include "library/LibraryTypes.h"
#include "library/SessionScan.h"

namespace ovrel {
namespace {

using test::SessionText;

// The message of the error that scanning `text` (as file "s.svs") raises.
std::string ScanError(const std::string& text) {
  try {
    ScanSessionText(text, "s.svs");
  } catch (const SessionFileError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(SessionScan, ReadsTotalTimeAndSegmentNumbers) {
  const auto scan =
      ScanSessionText(SessionText("2,15,", {"36,10,10,100,100,", "-3,140,148,44,44,"}), "s.svs");
  EXPECT_EQ(scan.totalTime, (std::array<std::int32_t, 2>{2, 15}));
  ASSERT_EQ(scan.segments.size(), 2u);
  EXPECT_EQ(scan.segments[1], (std::array<std::int32_t, 5>{-3, 140, 148, 44, 44}));
  // Time is the first number mod 32, with the sign of the number: 4 + (-3).
  EXPECT_EQ(scan.timeUnits, 1);
}

TEST(SessionScan, CommentsLinesBeforeVersionAndBareLineFeedsReadTheSame) {
  const auto plain = ScanSessionText(SessionText("1,0,", {"36,1,2,3,4,", "63,5,6,7,8,"}), "a");
  const std::string commented =
      "anything at all\n0,\nversion=22\nversion=23\n# rule\n#another\n1,0,\n#c\n36,1,2,3,4,\n"
      "# between\n#\n63,5,6,7,8,extra text after the fifth comma\n# before the end\n0,\ntail\n";
  const auto scan = ScanSessionText(commented, "b");
  EXPECT_EQ(scan.segments, plain.segments);
  EXPECT_EQ(scan.timeUnits, 4 + 31);
}

TEST(SessionScan, TheLineAfterTheVersionLineIsTheTotalTimeLineWhenItIsNoComment) {
  const auto scan = ScanSessionText("version=23\n3,45,\n36,1,2,3,4,\n0,\n", "s");
  EXPECT_EQ(scan.totalTime, (std::array<std::int32_t, 2>{3, 45}));
  EXPECT_EQ(scan.segments.size(), 1u);
}

TEST(SessionScan, TotalTimeLineOfLessThanAMinuteIsNotTheEndLine) {
  const auto scan = ScanSessionText(SessionText("0,15,", {"33,10,10,100,100,"}), "s");
  EXPECT_EQ(scan.totalTime, (std::array<std::int32_t, 2>{0, 15}));
  EXPECT_EQ(scan.segments.size(), 1u);
}

TEST(SessionScan, EmptySessionHasNoSegments) {
  EXPECT_TRUE(ScanSessionText(SessionText("0,0,", {}), "s").segments.empty());
}

TEST(SessionScan, RefusesMalformedFilesNamingFileAndLine) {
  // Segment lines start at line 7 of an editor-written file.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"version=24\r\n1,0,\r\n36,1,1,1,1,\r\n0,\r\n", "s.svs: no \"version=23\" line."},
      {" version=23\r\n1,0,\r\n0,\r\n", "s.svs: no \"version=23\" line."},
      {"", "s.svs: no \"version=23\" line."},
      {"version=23\r\n#\r\n", "s.svs: the file ends before the total time line."},
      {"version=23\n1,0,\n36,1,1,1,1,\n# no end line\n",
       "s.svs: the file ends before its \"0,\" line."},
      {"version=23\n1,\n0,\n",
       "s.svs, line 2: the total time line has fewer than 2 comma-terminated numbers."},
      {SessionText("1,0,", {"36,10,10,100,100"}),
       "s.svs, line 7: the segment line has fewer than 5 comma-terminated numbers."},
      {SessionText("1,0,", {"36,10,10,100,100,", ""}),
       "s.svs, line 8: the segment line has fewer than 5 comma-terminated numbers."},
      {SessionText("1,0,", {"36,10,x,100,100,"}),
       "s.svs, line 7: number 3 \"x\" is not a decimal integer."},
      {SessionText("1,0,", {"36,10,,100,100,"}),
       "s.svs, line 7: number 3 \"\" is not a decimal integer."},
      {SessionText("1,0,", {"36,10, 10,100,100,"}),
       "s.svs, line 7: number 3 \" 10\" is not a decimal integer."},
      {SessionText("1,0,", {"36,10,10,100,1.5,"}),
       "s.svs, line 7: number 5 \"1.5\" is not a decimal integer."},
      {SessionText("1,0,", {"36,10,10,100,2147483648,"}),
       "s.svs, line 7: number 5 \"2147483648\" does not fit a 32-bit integer."},
      {SessionText("99999999999,0,", {}),
       "s.svs, line 6: number 1 \"99999999999\" does not fit a 32-bit integer."},
      {SessionText("1,0,", {"256,10,10,100,100,"}),
       "s.svs, line 7: the first number of a segment line is 0 in its low 8 bits."},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(ScanError(text), message) << text;
}

TEST(SessionScan, AcceptsTheInt32LimitsAndAtMost380SegmentLines) {
  auto scan =
      ScanSessionText(SessionText("1,0,", {"-2147483647,10,10,2147483647,-2147483648,"}), "s");
  EXPECT_EQ(scan.segments[0][4], INT32_MIN);

  std::vector<std::string> lines(MaxSesFileSegs, "36,10,10,100,100,");
  EXPECT_EQ(ScanSessionText(SessionText("380,0,", lines), "s").segments.size(), 380u);
  lines.push_back("36,10,10,100,100,");
  EXPECT_EQ(ScanError(SessionText("381,0,", lines)),
            "s.svs, line 387: more than 380 segment lines.");
}

TEST(SessionScan, FolderIsReportedAsOne) {
  test::TempFolder folder;
  EXPECT_THROW(
      {
        try {
          ScanSessionFile(folder.path().string());
        } catch (const SessionFileError& e) {
          EXPECT_EQ(e.what(), folder.path().string() + ": cannot read the file: it is a folder.");
          throw;
        }
      },
      SessionFileError);
}

TEST(SessionScan, MissingFileIsReportedWithItsPath) {
  try {
    ScanSessionFile("/nonexistent-folder/x.svs");
    FAIL() << "no error";
  } catch (const SessionFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("/nonexistent-folder/x.svs: cannot open the file", 0), 0u)
        << e.what();
  }
}

}  // namespace
}  // namespace ovrel
