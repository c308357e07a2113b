// Conversion of legacy .rvx text into a session, and the import into the
// editor's state.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "format/LegacyImport.h"
#include "session/SesOptimize.h"

namespace ovrel {
namespace {

// A segment line with the used columns 1, 3, 4, 7 and 9 filled.
std::string Seg(const std::string& duration, const std::string& freqStart = "10",
                const std::string& freqEnd = "10", const std::string& tone = "A4",
                const std::string& mode = "IN") {
  return "x\t" + duration + "\t-\t" + freqStart + "\t" + freqEnd + "\t-\t-\t" + tone + "\t-\t" +
         mode + "\t-\t-";
}

// A file: a header line, START, the lines, END and a trailer.
std::string File(const std::vector<std::string>& lines, bool withEnd = true) {
  std::string text = "Legacy session\r\nSTART\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  if (withEnd) text += "END\r\ntrailer\r\n";
  return text;
}

Session Converted(const std::string& text) {
  const RvxReadResult r = ConvertRvxText(text);
  EXPECT_TRUE(r) << r.Error();
  return r ? r->Ses : Session{};
}

TEST(LegacyImport, DurationsBecomeUnitsAndLongOnesAreSplitOnce) {
  const Session s = Converted(File({Seg("1:30"), Seg("0:07"), Seg("5:45"), Seg("0:08")}));
  ASSERT_EQ(s.SegCount, 4);
  EXPECT_EQ(s[1].Time, 6);
  EXPECT_EQ(s[2].Time, 1);  // rounds to 0 units: one unit, never a "0," line
  EXPECT_EQ(s[3].Time, 23);
  EXPECT_EQ(s[4].Time, 1);

  // 6:00 is 24 units: 12 and 12, the sweep cut at its midpoint.
  const Session split = Converted(File({Seg("6:00", "10", "15", "C4", "FB"), Seg("1:00")}));
  ASSERT_EQ(split.SegCount, 3);
  EXPECT_EQ(split[1], (Segment{12, 2, 10, 12, NotePitch(16.3515f, 4)}));
  EXPECT_EQ(split[2], (Segment{12, 2, 12, 15, NotePitch(16.3515f, 4)}));
  EXPECT_EQ(split[3].Time, 4);

  // 12:00 is 48 units, split only once; a downward sweep halves towards zero.
  const Session twice = Converted(File({Seg("12:00", "15", "10"), Seg("0:15")}));
  ASSERT_EQ(twice.SegCount, 3);
  EXPECT_EQ(twice[1].Time, 24);
  EXPECT_EQ(twice[2].Time, 24);
  EXPECT_EQ(twice[1].FreqEnd, 13);
  EXPECT_EQ(twice[2].FreqStart, 13);
  // An odd length leaves the longer half first.
  const Session odd = Converted(File({Seg("6:15"), Seg("0:15")}));
  EXPECT_EQ(odd[1].Time, 13);
  EXPECT_EQ(odd[2].Time, 12);
}

TEST(LegacyImport, FrequenciesRoundHalvesToEvenAndStayUnclamped) {
  const Session s = Converted(File({Seg("1:00", "2.5", "3.5"), Seg("1:00", "0.4", "60.6"),
                                    Seg("1:00", "-2.5", "7"), Seg("1:00")}));
  EXPECT_EQ(s[1].FreqStart, 2);
  EXPECT_EQ(s[1].FreqEnd, 4);
  EXPECT_EQ(s[2].FreqStart, 0);
  EXPECT_EQ(s[2].FreqEnd, 61);
  EXPECT_EQ(s[3].FreqStart, -2);
}

TEST(LegacyImport, NotesBecomePitchesInSinglePrecision) {
  EXPECT_EQ(NotePitch(*NoteBaseFreq("A"), 4), 220);
  EXPECT_EQ(NotePitch(*NoteBaseFreq("A"), 6), 220);   // 880 halved twice
  EXPECT_EQ(NotePitch(*NoteBaseFreq("C"), 0), 16);    // below 48, taken as it comes
  EXPECT_EQ(NotePitch(*NoteBaseFreq("G#"), 5), 208);  // 830.6 -> 415.3 -> 207.65
  EXPECT_EQ(NotePitch(25.0f, 4), 400);                // exactly 400 is not halved
  EXPECT_EQ(NotePitch(25.0f, 5), 400);                // 800 halved once
  EXPECT_EQ(NotePitch(12.53125f, 4), 200);            // 200.5: halves go to the even one
  EXPECT_EQ(NotePitch(12.59375f, 4), 202);            // 201.5
  EXPECT_FALSE(NoteBaseFreq("a"));
  EXPECT_FALSE(NoteBaseFreq("Bb"));
  EXPECT_FALSE(NoteBaseFreq("H"));

  // The tone column: note, octave, and an optional character and "R".
  const Session s = Converted(
      File({Seg("1:00", "10", "10", "A4"), Seg("1:00", "10", "10", "A6+R"),
            Seg("1:00", "10", "10", "G#5"), Seg("1:00", "10", "10", "C#3xR"), Seg("1:00")}));
  EXPECT_EQ(s[1].Pitch, 220);
  EXPECT_EQ(s[2].Pitch, 220);
  EXPECT_EQ(s[3].Pitch, 208);
  EXPECT_EQ(s[4].Pitch, NotePitch(17.324f, 3));
}

TEST(LegacyImport, ModesByTheirFirstTwoCharacters) {
  EXPECT_EQ(RvxMode("LR"), 0);
  EXPECT_EQ(RvxMode("FBx"), 2);
  EXPECT_EQ(RvxMode("CR"), 3);
  EXPECT_EQ(RvxMode("LA"), 4);
  EXPECT_EQ(RvxMode("SA"), 5);
  EXPECT_EQ(RvxMode("SL"), 1);
  EXPECT_EQ(RvxMode("IN"), 1);
  EXPECT_EQ(RvxMode("L"), 1);
  EXPECT_EQ(RvxMode(""), 1);
  EXPECT_EQ(RvxMode("lr"), 1);
  const Session s = Converted(File({Seg("1:00", "10", "10", "A4", "SA"), Seg("1:00")}));
  EXPECT_EQ(s[1].Mode, 5);
}

TEST(LegacyImport, WhereTheSegmentsStartAndEnd) {
  // Without "END" the file's last line is lost; with LF line ends too.
  EXPECT_EQ(Converted(File({Seg("1:00"), Seg("2:00"), Seg("3:00")}, false)).SegCount, 2);
  EXPECT_EQ(Converted("START\n" + Seg("1:00") + "\n" + Seg("2:00")).SegCount, 1);
  // The only line after START is imported even though it is the last one.
  EXPECT_EQ(Converted("START\n" + Seg("1:00") + "\n").SegCount, 1);
  // Lines after END are not read.
  const Session s = Converted(File({Seg("1:00"), "END", "garbage without tab"}));
  EXPECT_EQ(s.SegCount, 1);
  // Only a line that is exactly START starts the segments.
  EXPECT_EQ(Converted("START \r\nSTART\r\n" + Seg("1:00") + "\r\nEND\r\n").SegCount, 1);

  // The line right after START is a segment line even when it is END: it
  // has no columns and is refused, rather than ending an empty session.
  const RvxReadResult end = ConvertRvxText("START\r\nEND\r\n" + Seg("1:00") + "\r\nEND\r\n");
  EXPECT_FALSE(end);
  EXPECT_EQ(end.Kind(), Fault::Syntax);
  EXPECT_TRUE(end.Error().starts_with("Line 2: ")) << end.Error();

  struct Case {
    std::string Text;
    Fault Kind;
  };
  for (const Case& c : {Case{"", Fault::Syntax}, Case{"header\r\n", Fault::Syntax},
                        Case{"header\r\nSTART", Fault::Empty}, Case{"START\r\n", Fault::Empty}}) {
    const RvxReadResult r = ConvertRvxText(c.Text);
    ASSERT_FALSE(r) << c.Text;
    EXPECT_EQ(r.Kind(), c.Kind) << c.Text;
  }
}

TEST(LegacyImport, TheSegmentLimitTruncates) {
  const auto lines = [](int n) { return std::vector<std::string>(n, Seg("1:00")); };
  RvxReadResult r = ConvertRvxText(File(lines(379)));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Ses.SegCount, 379);
  EXPECT_FALSE(r->Truncated);

  r = ConvertRvxText(File(lines(380)));  // nothing further: still the message
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Ses.SegCount, 380);
  EXPECT_TRUE(r->Truncated);

  r = ConvertRvxText(File(lines(500)));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Ses.SegCount, 380);
  EXPECT_TRUE(r->Truncated);

  // A split that reaches the limit truncates too; at the limit the second
  // half has no room and goes with the truncation.
  std::vector<std::string> split = lines(378);
  split.push_back(Seg("6:00"));
  r = ConvertRvxText(File(split));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Ses.SegCount, 380);
  EXPECT_TRUE(r->Truncated);
  split.insert(split.begin(), Seg("1:00"));
  r = ConvertRvxText(File(split));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Ses.SegCount, 380);
  EXPECT_EQ(r->Ses[380].Time, 12);
  EXPECT_EQ(kRvxTruncated,
            "The number of segments in the session reached 380. The session has been truncated.");
}

TEST(LegacyImport, FaultyLinesAreRefusedNamingTheLine) {
  // Each bad line is refused as a syntax fault, and the message names the
  // line and quotes what was wrong with it.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"no tab at all", "\"no tab at all\""},
      {Seg("130"), "\"130\""},
      {Seg("1.5:00"), "\"1.5:00\""},
      {Seg(":30"), "\":30\""},
      {Seg("1:xx"), "\"1:xx\""},
      {Seg("99999999999:00"), "\"99999999999:00\""},
      {Seg("1:00", "ten"), "\"ten\""},
      {Seg("1:00", "10", ""), "end frequency \"\""},
      {Seg("1:00", "10", "1e300"), "\"1e300\""},
      {Seg("1:00", "10", "10", ""), "the tone column is empty."},
      {Seg("1:00", "10", "10", "AR"), "\"AR\""},
      {Seg("1:00", "10", "10", "Ax"), "\"Ax\""},
      {Seg("1:00", "10", "10", "H4"), "the note \"H\""},
      {Seg("1:00", "10", "10", "4"), "the note \"\""},
      // Columns missing at the end read as empty: the tone is missing.
      {"x\t1:00\t-\t10\t10", "the tone column is empty."},
  };
  for (const auto& [bad, quoted] : cases) {
    const RvxReadResult r = ConvertRvxText(File({Seg("1:00"), Seg("1:00"), bad, Seg("1:00")}));
    ASSERT_FALSE(r) << bad;
    EXPECT_EQ(r.Kind(), Fault::Syntax) << bad;
    EXPECT_TRUE(r.Error().starts_with("Line 5: ")) << r.Error();
    EXPECT_NE(r.Error().find(quoted), std::string::npos) << r.Error();
  }
}

class ImportIntoEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("ovrel-import-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    ses.SegCount = 2;
    ses[2].Pitch = 300;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  void ExpectUnchanged() {
    EXPECT_EQ(ses.SegCount, 2);
    EXPECT_EQ(ses[2].Pitch, 300);
  }

  std::filesystem::path dir;
  Session ses;
};

TEST_F(ImportIntoEditor, ReplacesTheSessionNamesItAndOptimises) {
  // Three equal steady segments of 10 units merge into 23 + 7.
  const std::string path =
      Write("Deep Relax.RVX", File({Seg("2:30"), Seg("2:30"), Seg("2:30"), Seg("1:00", "8")}));
  const RvxImportOutcome r = ImportRvxFile(ses, path);
  ASSERT_TRUE(r) << r.Error();
  EXPECT_TRUE(r->Warning.empty());
  EXPECT_EQ(r->Name, "Deep Relax");
  ASSERT_EQ(ses.SegCount, 3);
  EXPECT_EQ(ses[1].Time, 23);
  EXPECT_EQ(ses[2].Time, 7);
  EXPECT_EQ(ses[3].FreqStart, 8);
  EXPECT_TRUE(r->Merged);  // the merge removed a segment

  // Nothing to merge; truncation is reported.
  const RvxImportOutcome big = ImportRvxFile(
      ses, Write("big.rvx", File(std::vector<std::string>(400, Seg("1:00", "5", "9")))));
  ASSERT_TRUE(big);
  EXPECT_EQ(big->Warning, kRvxTruncated);
  EXPECT_EQ(ses.SegCount, 380);
  EXPECT_FALSE(big->Merged);
}

TEST_F(ImportIntoEditor, AFailedImportChangesNothing) {
  RvxImportOutcome r = ImportRvxFile(ses, Write("session.txt", File({Seg("1:00"), Seg("1:00")})));
  // The message box's texts are the program's own: the headline is fixed,
  // the detail says what went wrong.
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::Unsupported);
  EXPECT_EQ(RvxImportHeadline(r.Failed()), "Unsupported session file format");
  EXPECT_EQ(RvxImportDetail(r.Failed()), "");
  ExpectUnchanged();

  r = ImportRvxFile(ses, Write("bad.rvx", File({Seg("1:00"), Seg("1:00"), Seg("90")})));
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::Syntax);
  EXPECT_EQ(RvxImportHeadline(r.Failed()), "RVX file import failed.");
  EXPECT_EQ(RvxImportDetail(r.Failed()), "Line 5: the duration \"90\" has no colon (m:ss).");
  ExpectUnchanged();

  struct Case {
    std::string Path;
    Fault Kind;
  };
  std::filesystem::create_directory(dir / "folder.rvx");
  for (const Case& c : {Case{Write("nostart.rvx", "no start here\r\n"), Fault::Syntax},
                        Case{(dir / "missing.rvx").string(), Fault::NotFound},
                        Case{(dir / "folder.rvx").string(), Fault::NotRegular}}) {
    r = ImportRvxFile(ses, c.Path);
    ASSERT_FALSE(r) << c.Path;
    EXPECT_EQ(r.Kind(), c.Kind) << c.Path;
    EXPECT_EQ(RvxImportHeadline(r.Failed()), "RVX file import failed.");
    EXPECT_FALSE(RvxImportDetail(r.Failed()).empty());
    ExpectUnchanged();
  }
}

TEST(LegacyImport, ValuesASessionFileCannotHoldRefuseTheFile) {
  // 15:30 is 62 units, split into 31 and 31: the most a segment line holds.
  EXPECT_EQ(Converted(File({Seg("15:30"), Seg("1:00")}))[1].Time, 31);
  // 24:00 would leave 48 units in each half, which a saved file would read
  // back as 16 units of another mode; a frequency above 127 would change
  // the pitch.
  for (const std::string& line : {Seg("24:00"), Seg("1:00", "200"), Seg("1:00", "10", "128"),
                                   Seg("1:00", "-2", "10", "C5")}) {
    const RvxReadResult r = ConvertRvxText(File({Seg("1:00"), line, Seg("1:00")}));
    ASSERT_FALSE(r) << line;
    EXPECT_EQ(r.Kind(), Fault::OutOfRange) << line;
    EXPECT_TRUE(r.Error().starts_with("Line 4: ")) << r.Error();
  }
}

}  // namespace
}  // namespace ovrel
