// Import and export of the .sbg and .gnaural schedules of other beat
// generators: round trips, what files from elsewhere become, and what is
// refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ExchangeSessions.h"
#include "fileio/TempDirTest.h"
#include "format/ExchangeFormat.h"
#include "format/GnauralFormat.h"
#include "format/SbgFormat.h"

namespace ovrel {
namespace {

// The session as an import gives it back: the formats carry no mode.
Session WithImportedMode(Session ses) {
  for (int32_t k = 1; k <= ses.SegCount; ++k) ses[k].Mode = kImportedMode;
  return ses;
}

void ExpectSameSegments(const Session& want, const Session& got, const std::string& what) {
  ASSERT_EQ(got.SegCount, want.SegCount) << what;
  for (int32_t k = 1; k <= want.SegCount; ++k)
    EXPECT_EQ(got[k], want[k]) << what << " segment " << k;
}

bool Lists(const ExchangeRead& r, const std::string& part) {
  return std::any_of(r.Changes.begin(), r.Changes.end(),
                     [&](const std::string& c) { return c.find(part) != std::string::npos; });
}

std::string AllChanges(const ExchangeRead& r) {
  std::string all;
  for (const std::string& c : r.Changes) all += c + "\n";
  return all;
}

class ExchangeFiles : public TempDirTest {};

TEST_F(ExchangeFiles, SessionsSurviveBothFormatsUnchangedAndWithNothingListed) {
  const auto sessions = ExchangeTestSessions(OVREL_EXAMPLES_DIR);
  ASSERT_GE(sessions.size(), 4u);
  for (const auto& [name, ses] : sessions) {
    for (const char* ext : {".sbg", ".gnaural"}) {
      const std::string path = (dir_ / (name + ext)).string();
      ASSERT_TRUE(ExportExchangeFile(path, ses, name, "Test Producer 1.0"));
      const ExchangeRead back = ImportExchangeFile(path);
      ASSERT_TRUE(back) << name << ext << ": " << back.Error;
      EXPECT_TRUE(back.Changes.empty()) << name << ext << ":\n" << AllChanges(back);
      ExpectSameSegments(WithImportedMode(ses), *back.Session, name + ext);
    }
  }
}

TEST(SbgExport, NamesTheSessionAndProgramAndTurnsFadesOff) {
  Session ses;
  ses.SegCount = 2;
  ses[1] = {4, 1, 10, 14, 200};
  ses[2] = {8, 2, 14, 14, 220};  // starts where the first ends, other pitch
  const std::string text = SbgText(ses, "Calm", "Producer 2.0");
  EXPECT_NE(text.find("## Session: Calm"), std::string::npos) << text;
  EXPECT_NE(text.find("Producer 2.0"), std::string::npos);
  EXPECT_NE(text.find("-SE -F 0\n"), std::string::npos);
  // The first segment slides to its own end point at 1:00, where the
  // second one's pitch begins; the session ends at 3:00.
  EXPECT_NE(text.find("NOW p1 ->\n+00:01:00 p2\n+00:01:00 p3 ->\n+00:03:00 p4\n+00:03:00 off\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("p2: 200+14/50"), std::string::npos);
}

TEST(SbgImport, TakesTheFirstBinauralToneAndListsEveryChangeWithItsLine) {
  const ExchangeRead r = ReadSbgText(
      "## a schedule from elsewhere\n"
      "-SE\n"
      "theta: pink/40 200.4+7.83/50 300+4/10\n"  // line 3
      "alpha: 250-10/50 bell400/20\n"            // line 4
      "deep: 150+0.5/60\n"                       // line 5
      "rest: pink/30\n"                          // line 6
      "off: -\n"
      "23:55 theta ->\n"     // line 8: slide to alpha over 2:07
      "23:57:07 alpha\n"     // line 9: 12:00 steady, split
      "00:09:07 == deep\n"   // line 10: past midnight; a step from line 9, fade listed
      "00:10:07 rest\n"      // line 11: noise only, left out
      "00:11:07 theta ->\n"  // line 12: slides into off: held
      "00:12:07 off\n");
  ASSERT_TRUE(r) << r.Error;
  const Session& s = *r.Session;
  ASSERT_EQ(s.SegCount, 1 + 3 + 1 + 1);
  EXPECT_EQ(s[1], (Segment{8, kImportedMode, 8, 10, 200}));  // 2:07 -> 2:00, glides 200 -> 250
  EXPECT_EQ(s[2], (Segment{23, kImportedMode, 10, 10, 250}));
  EXPECT_EQ(s[3], (Segment{23, kImportedMode, 10, 10, 250}));
  EXPECT_EQ(s[4], (Segment{2, kImportedMode, 10, 10, 250}));
  EXPECT_EQ(s[5], (Segment{4, kImportedMode, 1, 1, 150}));
  EXPECT_EQ(s[6], (Segment{4, kImportedMode, 8, 8, 200}));
  const std::string all = AllChanges(r);
  EXPECT_TRUE(Lists(r, "line 3: the beat 7.83 Hz is rounded to 8 Hz")) << all;
  EXPECT_TRUE(Lists(r, "line 3: the carrier 200.4 Hz is rounded to 200 Hz")) << all;
  EXPECT_TRUE(Lists(r, "line 3: pink noise")) << all;
  EXPECT_TRUE(Lists(r, "line 3: a further binaural tone (300+4/10)")) << all;
  EXPECT_TRUE(Lists(r, "line 4: a bell")) << all;
  EXPECT_TRUE(Lists(r, "line 5: the beat 0.5 Hz is outside 1 to 48 Hz")) << all;
  EXPECT_TRUE(Lists(r, "line 8: the duration 2:07 becomes 2:00")) << all;
  EXPECT_TRUE(Lists(r, "line 8: the carrier glides from 200 to 250 Hz")) << all;
  EXPECT_TRUE(Lists(r, "line 9: 12:00 is split into 3 segments")) << all;
  EXPECT_TRUE(Lists(r, "line 9: the fade into line 10 becomes a step")) << all;
  EXPECT_TRUE(Lists(r, "line 11: 1:00 of \"rest\", which has no binaural tone, are left out"))
      << all;
  // Each change once: the tone-set of line 3 is used twice.
  EXPECT_EQ(std::count(r.Changes.begin(), r.Changes.end(), r.Changes.front()), 1);
}

TEST(SbgImport, LongSweepIsHalvedAsTheLegacyImportSplits) {
  const ExchangeRead r =
      ReadSbgText("a: 100+4/50\nb: 100+20/50\nNOW a ->\n+00:12:00 b\n+00:12:15 b\n");
  ASSERT_TRUE(r) << r.Error;
  // 48 units: halves of 24, each halved again; the frequency cut at the
  // midpoints 12, then 8 and 16.
  ASSERT_EQ(r.Session->SegCount, 5);
  EXPECT_EQ((*r.Session)[1], (Segment{12, kImportedMode, 4, 8, 100}));
  EXPECT_EQ((*r.Session)[2], (Segment{12, kImportedMode, 8, 12, 100}));
  EXPECT_EQ((*r.Session)[3], (Segment{12, kImportedMode, 12, 16, 100}));
  EXPECT_EQ((*r.Session)[4], (Segment{12, kImportedMode, 16, 20, 100}));
  EXPECT_EQ((*r.Session)[5], (Segment{1, kImportedMode, 20, 20, 100}));
  EXPECT_TRUE(Lists(r, "line 5: the last time line's \"b\" plays on")) << AllChanges(r);
}

TEST(SbgImport, RefusesWhatItCannotReadWithTheReason) {
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {"n: pink/50\noff: -\nNOW n\n+00:10 off\n", "no binaural tone"},
      {"a: 200+10/50\nNOW b\n", "Line 2: the tone-set \"b\" is not defined"},
      {"a: 200+10/50\nNOW a\n10:00 a\n", "Line 3: the file mixes NOW and clock times"},
      {"a: 200+10/50\nNOW+00:10 a\nNOW+00:05 a\n", "Line 3: the time 5:00 comes before"},
      {"a: 200+10/50\n+00:10 a\n", "Line 2: a relative time comes before"},
      {"a: 200+10/50 wobble/3\n", "Line 1: \"wobble/3\" is not a tone"},
      {"a: 200+10/50\nNOW a\n" + std::string(5000, '#') + "\n", "Line 3 is longer than 4096"},
      {"-p drop 00ds+\n", "built-in program"},
      {"b: {\nNOW a\n", "has no closing \"}\""},
  };
  for (const auto& c : cases) {
    const ExchangeRead r = ReadSbgText(c.text);
    EXPECT_FALSE(r) << c.text;
    EXPECT_NE(r.Error.find(c.reason), std::string::npos) << c.text << "\n-> " << r.Error;
  }
}

TEST(SbgImport, RefusesASessionBeyond380Segments) {
  std::string text = "a: 100+4/50\nb: 100+6/50\n";
  for (int i = 0; i <= 381; ++i)
    text += "+" + std::to_string(i / 60) + ":" + (i % 60 < 10 ? "0" : "") + std::to_string(i % 60) +
            " " + (i % 2 ? "a" : "b") + "\n";
  const ExchangeRead r = ReadSbgText("NOW a\n" + text);
  ASSERT_FALSE(r);
  EXPECT_NE(r.Error.find("more than 380 segments"), std::string::npos) << r.Error;
}

std::string Gnaural(const std::string& counts, const std::string& voices) {
  return "<?xml version=\"1.0\"?>\n<!-- from elsewhere -->\n<schedule>\n"
         "<title>T &amp; U</title>\n" +
         counts + "<loops>0</loops>\n" + voices + "</schedule>\n";
}

const std::string kNoise =
    "<voice><type>1</type><entrycount>1</entrycount><entries>"
    "<entry parent=\"0\" duration=\"60\" beatfreq=\"0\" basefreq=\"0\"/></entries></voice>\n";
const std::string kBinaural =
    "<voice><type>0</type><voice_mute>0</voice_mute><entrycount>3</entrycount><entries>\n"
    "<entry parent=\"1\" duration=\"60\" volume_left=\"0.5\" beatfreq=\"12\" basefreq=\"30\"/>\n"
    "<entry parent=\"1\" duration=\"0\" beatfreq=\"60\" basefreq=\"210\"/>\n"
    "<entry parent=\"1\" duration=\"120\" beatfreq=\"-4\" basefreq=\"210\"/>\n"
    "</entries></voice>\n";

TEST(GnauralImport, TakesTheFirstBinauralVoiceGlidingToEachNextEntry) {
  const ExchangeRead r = ReadGnauralText(Gnaural(
      "<voicecount>2</voicecount><totalentrycount>4</totalentrycount>\n", kNoise + kBinaural));
  ASSERT_TRUE(r) << r.Error;
  ASSERT_EQ(r.Session->SegCount, 2);
  // Entry 1 glides to entry 2's clamped 48 Hz; entry 2 lasts no time; entry
  // 3 glides back to entry 1, as the schedule starts over.
  EXPECT_EQ((*r.Session)[1], (Segment{4, kImportedMode, 12, 48, 48}));
  EXPECT_EQ((*r.Session)[2], (Segment{8, kImportedMode, 4, 12, 210}));
  const std::string all = AllChanges(r);
  EXPECT_TRUE(Lists(r, "voice 1 (pink noise) is not taken over")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 1: the carrier 30 Hz is outside 48 to 400")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 2: the beat 60 Hz is outside 1 to 48")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 1: the carrier glides from 48 to 210")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 3: the carrier glides from 210 to 48")) << all;
  EXPECT_TRUE(Lists(r, "loops (0) are not taken over")) << all;
}

TEST(GnauralImport, RefusesCountsThatDisagreeWithTheBody) {
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {Gnaural("<voicecount>1</voicecount><totalentrycount>4</totalentrycount>",
               kNoise + kBinaural),
       "<voicecount> says 1 voices, but the file has 2"},
      {Gnaural("<voicecount>2</voicecount><totalentrycount>5</totalentrycount>",
               kNoise + kBinaural),
       "<totalentrycount> says 5 entries, but the voices have 4"},
      {Gnaural(
           "<voicecount>1</voicecount><totalentrycount>3</totalentrycount>",
           std::string(kBinaural).replace(kBinaural.find("<entrycount>3"), 13, "<entrycount>2")),
       "voice 1: <entrycount> says 2 entries, but the voice has 3"},
      {Gnaural("<totalentrycount>1</totalentrycount>", kNoise), "<voicecount> is missing"},
      {Gnaural("<voicecount>1</voicecount><totalentrycount>1</totalentrycount>", kNoise),
       "no binaural beat voice"},
      {"<schedule><voicecount>1</voicecount></schedul>", "not well-formed XML: line 1"},
      {"<!DOCTYPE x><schedule/>", "DOCTYPE"},
      {Gnaural("<voicecount>1</voicecount><totalentrycount>3</totalentrycount>",
               std::string(kBinaural).replace(kBinaural.find("\"120\""), 5, "\"1e999\"")),
       "voice 1, entry 3 (line 9): its duration \"1e999\" is not a usable number"},
  };
  for (const auto& c : cases) {
    const ExchangeRead r = ReadGnauralText(c.text);
    EXPECT_FALSE(r) << c.text;
    EXPECT_NE(r.Error.find(c.reason), std::string::npos) << c.text << "\n-> " << r.Error;
  }
}

TEST(GnauralImport, ReadsAnIndentedFileOfManyEntries) {
  // The layout between 2000 entries is far more than any one text may hold.
  std::string entries;
  for (int i = 0; i < 2000; ++i)
    entries += "\n        <entry parent=\"0\" duration=\"" + std::string(i == 0 ? "60" : "0") +
               "\" beatfreq=\"4\" basefreq=\"100\" state=\"0\"/>";
  const ExchangeRead r = ReadGnauralText(
      Gnaural("  <voicecount>1</voicecount>\n  <totalentrycount>2000</totalentrycount>\n",
              "  <voice>\n    <type>0</type>\n    <entrycount>2000</entrycount>\n    <entries>" +
                  entries + "\n    </entries>\n  </voice>\n"));
  ASSERT_TRUE(r) << r.Error;
  EXPECT_EQ((*r.Session)[1], (Segment{4, kImportedMode, 4, 4, 100}));
}

TEST(GnauralExport, CountsAgreeAndNamesTheSession) {
  const std::string text = GnauralText(FullTestSession(), "Full <&> run", "Producer 2.0");
  EXPECT_NE(text.find("<title>Full &lt;&amp;&gt; run</title>"), std::string::npos);
  // The reader checks every count; a full session reads back whole.
  const ExchangeRead back = ReadGnauralText(text);
  ASSERT_TRUE(back) << back.Error;
  EXPECT_EQ(back.Session->SegCount, MaxSegCount);
}

TEST_F(ExchangeFiles, AnotherExtensionIsRefusedAndAMissingFileNamed) {
  EXPECT_FALSE(ImportExchangeFile((dir_ / "x.txt").string()));
  const ExchangeRead missing = ImportExchangeFile((dir_ / "gone.sbg").string());
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.Error.find("gone.sbg"), std::string::npos) << missing.Error;
  EXPECT_FALSE(ExportExchangeFile((dir_ / "x.svs").string(), Session{}, "x", "p"));
  // A session file may hold a negative frequency, which no schedule holds.
  Session odd;
  odd[1].FreqEnd = -3;
  const FileWriteResult w = ExportExchangeFile((dir_ / "odd.sbg").string(), odd, "odd", "p");
  EXPECT_FALSE(w);
  EXPECT_NE(w.Error.find("segment 1"), std::string::npos) << w.Error;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "odd.sbg"));
}

}  // namespace
}  // namespace ovrel
