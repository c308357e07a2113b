#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "fileio/FileSizeLimit.h"
#include "format/SessionFile.h"
#include "fileio/TempDirTest.h"

namespace ovrel {
namespace {

namespace fs = std::filesystem;

const std::string kRule =
    "#----------------------------------------------------------------------------";

std::string Lines(std::initializer_list<std::string> lines, const char* end = "\r\n") {
  std::string out;
  for (const auto& l : lines) out += l + end;
  return out;
}

TEST(SessionFileWriter, DefaultSessionByteForByte) {
  ASSERT_EQ(kRule.size(), 77u);
  Session ses;
  EXPECT_EQ(SessionFileText(ses), Lines({kRule, "# Sorvani Pro Session File", kRule, "version=23",
                                         kRule, "1,0,", "36,10,10,100,100,", "0,", kRule}));
}

TEST(SessionFileWriter, PitchAbove255UsesBit7OfBothFrequencyNumbers) {
  Segment seg{.Time = 4, .Mode = 1, .FreqStart = 12, .FreqEnd = 20, .Pitch = 300};
  EXPECT_EQ(PackedSegmentLine(seg), "36,140,148,44,44,");
}

TEST(SessionFileWriter, TotalTimeMinutesAreNotLimited) {
  Session ses;
  ses.SegCount = MaxSegCount;
  for (int32_t k = 1; k <= MaxSegCount; ++k) ses[k].Time = 23;
  EXPECT_EQ(TotalTimeLine(ses), "2185,0,");
  ses.SegCount = 1;
  ses[1].Time = 3;
  EXPECT_EQ(TotalTimeLine(ses), "0,45,");
}

TEST(SessionFileReader, RoundTripKeepsEveryParameter) {
  Session ses;
  ses.SegCount = 4;
  ses[1] = {1, 0, 1, 48, 48};
  ses[2] = {23, 6, 48, 1, 400};
  ses[3] = {7, 3, 12, 20, 300};
  ses[4] = {31, 7, 127, 0, 511};  // values only a file can carry still round-trip
  SessionReadResult r = ReadSessionText(SessionFileText(ses), "a.svs");
  ASSERT_TRUE(r) << r.Error();
  ASSERT_EQ(r->SegCount, 4);
  for (int32_t k = 1; k <= 4; ++k) EXPECT_EQ((*r)[k], ses[k]) << k;
}

TEST(SessionFileReader, CommentsJunkBeforeVersionLfEndsAndStaleTotal) {
  const std::string text =
      Lines({"anything", "version=22", "version=23", kRule, "# more", "99,99,", "# between",
             "36,10,10,100,100,", "#", "#x", "67,140,20,44,200,", "0,", "trailing junk"},
            "\n");
  SessionReadResult r = ReadSessionText(text, "a.svs");
  ASSERT_TRUE(r) << r.Error();
  ASSERT_EQ(r->SegCount, 2);
  EXPECT_EQ((*r)[2], (Segment{3, 2, 12, 20, 300}));  // second pitch slot discarded
}

TEST(SessionFileReader, NegativeNumbersFollowTruncatingDivision) {
  SessionReadResult r =
      ReadSessionText(Lines({"version=23", kRule, "0,0,", "-33,-129,5,7,7,", "0,"}), "n.svs");
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ((*r)[1], (Segment{-1, -1, -1, 5, -256 + 7}));
}

TEST(SessionFileReader, TheTotalTimeLineIsNotReadForTheEditor) {
  // Empty, not numeric, one number, too large: the times come from the segments.
  for (const char* total : {"", "x,y,", "1,", "99999999999,0,"}) {
    SessionReadResult r =
        ReadSessionText(Lines({"version=23", kRule, total, "36,10,10,100,100,", "0,"}), "t.svs");
    ASSERT_TRUE(r) << total << ": " << r.Error();
    EXPECT_EQ(r->SegCount, 1);
  }
}

struct BadFile {
  const char* name;
  std::string text;
  Fault kind;
  std::string line;  // the line the message names after "bad.svs, "
};

class SessionFileRefused : public testing::TestWithParam<BadFile> {};

TEST_P(SessionFileRefused, NamesFileAndLine) {
  SessionReadResult r = ReadSessionText(GetParam().text, "bad.svs");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), GetParam().kind);
  EXPECT_TRUE(r.Error().starts_with("bad.svs, " + GetParam().line + ": ")) << r.Error();
}

std::string Header() {
  return Lines({kRule, "version=23", kRule, "1,0,"});
}

std::string TooMany() {
  std::string t = Header();
  for (int i = 0; i < 381; ++i) t += "36,10,10,100,100,\r\n";
  return t + "0,\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    MalformedInput, SessionFileRefused,
    testing::Values(
        BadFile{"NoVersion", Lines({kRule, "version=24", "36,10,10,100,100,", "0,"}), Fault::Syntax,
                "line 5"},
        BadFile{"VersionWithSpace", Lines({"version=23 ", "1,0,", "36,10,10,100,100,", "0,"}),
                Fault::Syntax, "line 5"},
        BadFile{"EmptyFile", "", Fault::Syntax, "line 1"},
        BadFile{"EndsAfterVersion", Lines({"version=23"}), Fault::Syntax, "line 2"},
        BadFile{"EndsAfterTotal", Header(), Fault::Syntax, "line 5"},
        BadFile{"NoEndLine", Header() + Lines({"36,10,10,100,100,"}), Fault::Syntax, "line 6"},
        BadFile{"EndsInComments", Header() + Lines({"36,10,10,100,100,", "# x"}), Fault::Syntax,
                "line 7"},
        BadFile{"EmptyLine", Header() + Lines({"36,10,10,100,100,", "", "0,"}), Fault::Syntax,
                "line 6"},
        BadFile{"FourNumbers", Header() + Lines({"36,10,10,100", "0,"}), Fault::Syntax, "line 5"},
        BadFile{"NotANumber", Header() + Lines({"36,1O,10,100,100,", "0,"}), Fault::Syntax,
                "line 5"},
        BadFile{"EmptyField", Header() + Lines({"36,,10,100,100,", "0,"}), Fault::Syntax, "line 5"},
        BadFile{"SpaceInField", Header() + Lines({"36, 10,10,100,100,", "0,"}), Fault::Syntax,
                "line 5"},
        BadFile{"HexField", Header() + Lines({"36,10,10,$64,100,", "0,"}), Fault::Syntax, "line 5"},
        BadFile{"TooBig", Header() + Lines({"36,10,10,100,2147483648,", "0,"}), Fault::Syntax,
                "line 5"},
        BadFile{"TooSmall", Header() + Lines({"-2147483649,10,10,100,100,", "0,"}), Fault::Syntax,
                "line 5"},
        BadFile{"PitchOverflow", Header() + Lines({"36,2147483647,10,2147483647,1,", "0,"}),
                Fault::OutOfRange, "line 5"},
        BadFile{"ZeroWrittenOtherwise",
                Header() + Lines({"36,10,10,100,100,", "00,10,10,100,100,", "0,"}), Fault::Syntax,
                "line 6"},
        BadFile{"NoSegment", Header() + Lines({"# none", "0,"}), Fault::Empty, "line 6"},
        BadFile{"TooManySegments", TooMany(), Fault::TooMany, "line 385"}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(SessionFileReader, ExactlyMaxSegmentsIsAccepted) {
  std::string t = Header();
  for (int i = 0; i < 380; ++i) t += "36,10,10,100,100,\r\n";
  SessionReadResult r = ReadSessionText(t + "0,\r\n", "max.svs");
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ(r->SegCount, 380);
}

using SessionFileOnDisk = TempDirTest;

TEST_F(SessionFileOnDisk, SaveThenReadBack) {
  Session ses;
  ses.SegCount = 2;
  ses[2] = {9, 4, 12, 20, 300};
  const std::string fileName = (dir_ / "s.svs").string();
  SaveResult s = SaveSession(ses, fileName);
  ASSERT_TRUE(s) << s.Error();
  SessionReadResult r = ReadSessionFile(fileName);
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ((*r)[2], ses[2]);
  EXPECT_EQ(Slurp(dir_ / "s.svs"), SessionFileText(ses));
}

TEST_F(SessionFileOnDisk, SaveFailingMidWriteKeepsOldFile) {
  const fs::path target = dir_ / "old.svs";
  std::ofstream(target, std::ios::binary) << "old contents";
  Session ses;
  ses.SegCount = 300;
  SaveResult s;
  {
    FileSizeLimit limit(100);
    s = SaveSession(ses, target.string());
  }
  EXPECT_FALSE(s);
  EXPECT_EQ(s.Kind(), Fault::CannotWrite);
  EXPECT_EQ(Slurp(target), "old contents");
}

TEST_F(SessionFileOnDisk, MissingFileAndFolderAreReported) {
  SessionReadResult r = ReadSessionFile((dir_ / "none.svs").string());
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::NotFound);
  EXPECT_EQ(r.Error(),
            "Cannot read " + (dir_ / "none.svs").string() + ": No such file or directory");
  r = ReadSessionFile(dir_.string());
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::NotRegular);
}

TEST_F(SessionFileOnDisk, ErrorsNameThePath) {
  const fs::path p = dir_ / "broken.svs";
  std::ofstream(p, std::ios::binary) << Header() << "36,10,\r\n0,\r\n";
  SessionReadResult r = ReadSessionFile(p.string());
  EXPECT_EQ(r.Kind(), Fault::Syntax);
  EXPECT_TRUE(r.Error().starts_with(p.string() + ", line 5: ")) << r.Error();
}

// Random damage to a valid file: every read either gives a session the
// editor can show or names the file and a line.
TEST(SessionFileReader, DamagedFilesAreReadOrRefusedCleanly) {
  Session ses;
  ses.SegCount = 3;
  ses[2] = {23, 6, 48, 1, 400};
  const std::string good = SessionFileText(ses);
  const std::string alphabet = "0123456789,-+#\r\n v=";
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text = good;
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % (text.size() + 1);
      switch (rng() % 3) {
        case 0:
          text.insert(at, 1, alphabet[rng() % alphabet.size()]);
          break;
        case 1:
          if (at < text.size()) text.erase(at, 1 + rng() % 8);
          break;
        default:
          if (at < text.size()) text[at] = alphabet[rng() % alphabet.size()];
          break;
      }
    }
    SessionReadResult r = ReadSessionText(text, "f.svs");
    if (r) {
      EXPECT_GE(r->SegCount, 1);
      EXPECT_LE(r->SegCount, MaxSegCount);
    } else {
      EXPECT_EQ(r.Error().rfind("f.svs, line ", 0), 0u) << r.Error();
    }
  }
}

}  // namespace
}  // namespace ovrel
