// Import and export of the .sbg and .gnaural schedules of other beat
// generators: round trips, what files from elsewhere become, and what is
// refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "ExchangeSessions.h"
#include "fileio/TempDirTest.h"
#include "format/ExchangeFormat.h"
#include "format/FileFormats.h"
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
  return std::any_of(r->Changes.begin(), r->Changes.end(),
                     [&](const std::string& c) { return c.find(part) != std::string::npos; });
}

std::string AllChanges(const ExchangeRead& r) {
  std::string all;
  for (const std::string& c : r->Changes) all += c + "\n";
  return all;
}

class ExchangeFiles : public TempDirTest {};

TEST_F(ExchangeFiles, SessionsSurviveBothFormatsUnchangedAndWithNothingListed) {
  const auto sessions = ExchangeTestSessions(OVREL_EXAMPLES_DIR);
  ASSERT_GE(sessions.size(), 4u);
  for (const auto& [name, ses] : sessions) {
    for (const char* ext : {".sbg", ".gnaural"}) {
      const std::string path = (dir_ / (name + ext)).string();
      ASSERT_TRUE(WriteFormatFile(path, {FormatRole::Schedule}, ses, name, "Test Producer 1.0"));
      const ExchangeRead back = ReadFormatFile(path, {FormatRole::Schedule});
      ASSERT_TRUE(back) << name << ext << ": " << back.Error();
      EXPECT_TRUE(back->Changes.empty()) << name << ext << ":\n" << AllChanges(back);
      ExpectSameSegments(WithImportedMode(ses), back->Session, name + ext);
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
  ASSERT_TRUE(r) << r.Error();
  const Session& s = r->Session;
  ASSERT_EQ(s.SegCount, 1 + 3 + 1 + 1);
  EXPECT_EQ(s[1], (Segment{8, kImportedMode, 8, 10, 200}));  // 2:07 -> 2:00, glides 200 -> 250
  EXPECT_EQ(s[2], (Segment{16, kImportedMode, 10, 10, 250}));
  EXPECT_EQ(s[3], (Segment{16, kImportedMode, 10, 10, 250}));
  EXPECT_EQ(s[4], (Segment{16, kImportedMode, 10, 10, 250}));
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
  EXPECT_EQ(std::count(r->Changes.begin(), r->Changes.end(), r->Changes.front()), 1);
}

// The session's frequency at `seconds` from its start, on the straight line
// of the segment there.
double FreqAt(const Session& ses, double seconds) {
  double start = 0;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const double len = ses[k].Time * double{TimeUnit};
    if (seconds <= start + len || k == ses.SegCount)
      return ses[k].FreqStart + (ses[k].FreqEnd - ses[k].FreqStart) * (seconds - start) / len;
    start += len;
  }
  return 0;
}

// "+hh:mm:ss.fff": a time line's offset.
std::string Plus(double seconds) {
  char t[64];
  std::snprintf(t, sizeof t, "+%02d:%02d:%06.3f", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60) % 60, std::fmod(seconds, 60.0));
  return t;
}

double TotalSeconds(const Session& ses) {
  double total = 0;
  for (int32_t k = 1; k <= ses.SegCount; ++k) total += ses[k].Time * double{TimeUnit};
  return total;
}

TEST(SbgImport, EveryPieceOfALongSlideFollowsTheStraightLine) {
  const struct {
    int from, to, seconds;
  } slides[] = {{10, 11, 900}, {2, 3, 1620}, {4, 20, 720}, {30, 5, 3600}, {7, 7, 1500}};
  for (const auto& c : slides) {
    const std::string text = "-SE\na: 100+" + std::to_string(c.from) + "/50\nb: 100+" +
                             std::to_string(c.to) + "/50\nNOW a ->\n" + Plus(c.seconds) + " b\n";
    const ExchangeRead r = ReadSbgText(text);
    ASSERT_TRUE(r) << text << r.Error();
    const Session& ses = r->Session;
    EXPECT_GT(ses.SegCount, 1) << text;
    EXPECT_EQ(TotalSeconds(ses), c.seconds) << text;
    // Each piece's ends: on the line, rounded to whole hertz.
    double start = 0;
    for (int32_t k = 1; k <= ses.SegCount; ++k) {
      const double end = start + ses[k].Time * double{TimeUnit};
      const auto line = [&](double t) { return c.from + (c.to - c.from) * t / c.seconds; };
      EXPECT_LE(std::fabs(ses[k].FreqStart - line(start)), 0.5) << text << " segment " << k;
      EXPECT_LE(std::fabs(ses[k].FreqEnd - line(end)), 0.5) << text << " segment " << k;
      EXPECT_LE(ses[k].Time, 23);
      start = end;
    }
  }
}

TEST(SbgImport, AToneSetThatPlaysOnWithNoEndGetsTheChosenLength) {
  const struct {
    std::string text;
    int32_t minutes;  // the chosen length of the open end
    double total;     // seconds of the session
  } cases[] = {
      {"## the commonest form\nalpha: pink/40 300+10/10\n\n0:00 alpha", 30, 1800},
      {"alpha: 300+10/10\nNOW alpha\n", 12, 720},
      {"a: 200+10/50\nb: 200+4/50\nNOW a\n+00:10 b\n", 5, 900},
      {"-E\na: 200+10/50\nb: 200+4/50\nNOW a\n+00:10 b\n", 5, 600},  // ends at the last line
  };
  for (const auto& c : cases) {
    ImportOptions options;
    options.OpenEndMinutes = c.minutes;
    const ExchangeRead r = ReadSbgText(c.text, options);
    ASSERT_TRUE(r) << c.text << "\n-> " << r.Error();
    EXPECT_EQ(TotalSeconds(r->Session), c.total) << c.text;
    EXPECT_EQ(Lists(r, "plays on with no end; the session gives it " + ClockText(c.minutes * 60)),
              c.total != 600)
        << c.text << "\n"
        << AllChanges(r);
  }
}

TEST(SbgImport, ToneTypesNotTakenOverAreListedAndSilentOnesAreNoBeat) {
  const struct {
    std::string tone;
    std::string listed;
  } cases[] = {
      {"bell+2050/20", "a bell (bell+2050/20) is not taken over"},
      {"bell600/20", "a bell (bell600/20) is not taken over"},
      {"spin:300+4.2/30", "spinning noise (spin:300+4.2/30)"},
      {"wave01:200+4/40", "a waveform tone (wave01:200+4/40)"},
      {"mix/50", "the mix input (mix/50)"},
      {"300@10/20", "an isochronic tone (300@10/20)"},
      {"100+0/10", "a tone without a beat (100+0/10)"},
      {"200+4/0", "a silent tone (200+4/0)"},
      {"brown/10", "brown noise (brown/10)"},
  };
  for (const auto& c : cases) {
    // The tone comes first; the real binaural tone after it is the voice.
    const ExchangeRead r = ReadSbgText("-E\nx: " + c.tone + " 302+4/10\nNOW x\n+00:01 x\n");
    ASSERT_TRUE(r) << c.tone << ": " << r.Error();
    EXPECT_EQ((r->Session)[1], (Segment{4, kImportedMode, 4, 4, 302})) << c.tone;
    EXPECT_TRUE(Lists(r, "line 2: " + c.listed)) << c.tone << "\n" << AllChanges(r);
  }
}

TEST(SbgImport, ABeatsSignAndOptionsNotTakenOverAreListed) {
  const ExchangeRead r = ReadSbgText(
      "-SE -m river1.ogg\n-F 10000 -q 1\nts: pink/80 360-40/6 440+40/6\nNOW ts\n+00:15 ts\n");
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ((r->Session)[1].FreqStart, 40);
  const std::string all = AllChanges(r);
  EXPECT_TRUE(Lists(r, "line 3: the beat of 360-40/6 is negative")) << all;
  EXPECT_TRUE(Lists(r, "line 1: the option -m river1.ogg is not taken over")) << all;
  EXPECT_TRUE(Lists(r, "line 2: the option -F 10000 is not taken over")) << all;
  EXPECT_TRUE(Lists(r, "line 2: the option -q 1 is not taken over")) << all;
  EXPECT_FALSE(Lists(r, "-SE")) << all;  // the session starts at the first line, ends at the last
}

TEST(SbgImport, BoundariesAreRoundedByTheirTimeFromTheStart) {
  // 43 steps of one second, 10 steps of 0:59.9 and a step of 0.001 s.
  const struct {
    int steps;
    double seconds;
  } cases[] = {{43, 1}, {10, 59.9}, {3, 0.001}, {61, 59.2}};
  for (const auto& c : cases) {
    std::string text = "-SE\na: 200+4/50\nb: 200+12/50\nc: 200+8/50\nNOW c\n";
    for (int i = 0; i < c.steps; ++i) {
      text += "NOW" + Plus(600 + (i + 1) * c.seconds) + (i % 2 ? " a\n" : " b\n");
    }
    const ExchangeRead r = ReadSbgText(text);
    ASSERT_TRUE(r) << text << r.Error();
    const double source = 600 + c.steps * c.seconds;
    EXPECT_LE(std::fabs(TotalSeconds(r->Session) - source), 7.5) << text;
    EXPECT_EQ(Lists(r, "fall inside one 15-second unit"), c.seconds < 15) << AllChanges(r);
    // Every boundary of the course stays within 7.5 s: the steady first ten
    // minutes end within half a unit of 10:00.
    EXPECT_EQ((r->Session)[1].FreqStart, 8);
    EXPECT_EQ(FreqAt(r->Session, 592), 8) << text;
  }
}

TEST(SbgImport, RemovedSilenceSaysHowFarEverythingAfterItMoves) {
  const ExchangeRead r = ReadSbgText(
      "-SE\na: 200+4/50\nwake: 200+14/50\noff: -\nNOW a\n+01:00 off\n+05:45 wake\n"
      "+06:00 off\n+06:30 a\n+06:45 off\n");
  ASSERT_TRUE(r) << r.Error();
  const std::string all = AllChanges(r);
  EXPECT_TRUE(Lists(r,
                    "line 6: 4:45:00 of \"off\", which has no binaural tone, are left out; "
                    "everything after it plays 4:45:00 earlier."))
      << all;
  EXPECT_TRUE(Lists(r,
                    "line 8: 30:00 of \"off\", which has no binaural tone, are left out; "
                    "everything after it plays 5:15:00 earlier."))
      << all;
  EXPECT_EQ(TotalSeconds(r->Session), 3600 + 900 + 900);
}

TEST(SbgImport, AByteOrderMarkIsSkippedAndQuotedInputShowsWhatIsInvisible) {
  const ExchangeRead bom = ReadSbgText("\xEF\xBB\xBF-SE\na: 200+10/50\nNOW a\n+00:01 a\n");
  ASSERT_TRUE(bom) << bom.Error();
  // Blanks before a line's end or its comment are no part of what it says.
  const ExchangeRead plain =
      ReadSbgText("-SE\na: 200+10/50\nb: {\n +00:00 a\n}\nNOW b\n+00:01 a\n");
  const ExchangeRead blanks = ReadSbgText(
      "-SE \na: 200+10/50 \t# alpha\r\nb: { \n +00:00 a  \n} \t\nNOW b  \n+00:01 a\t\n");
  ASSERT_TRUE(plain) << plain.Error();
  ASSERT_TRUE(blanks) << blanks.Error();
  ExpectSameSegments(plain->Session, blanks->Session, "trailing blanks");
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"\xEF\xBB\xBF\xEF\xBB\xBF-SE\n", "\"\\u{FEFF}-SE\""},
      {"a: 200+10/50\xC2\xA0x\n", "\"200+10/50\\u{00A0}x\""},
      {"a\xE2\x80\x8B: 200+10/50\n", "\"a\\u{200B}: 200+10/50\""},
      {"a: 200+10/5\x01\n", "\"200+10/5\\x01\""},
      {"a: 200+10/5\xFF\n", "\"200+10/5\\xFF\""},
  };
  for (const auto& c : cases) {
    const ExchangeRead r = ReadSbgText(c.text);
    ASSERT_FALSE(r) << c.text;
    EXPECT_NE(r.Error().find(c.shown), std::string::npos) << c.shown << "\n-> " << r.Error();
  }
}

TEST(SbgImport, LaterDialectsAreRefusedSayingWhatIsNotUnderstood) {
  const struct {
    std::string tone;
    std::string part;
  } cases[] = {
      {"iso:200@10/30", "\"iso:\" in \"iso:200@10/30\" is not understood"},
      {"wspin:300+4/30", "\"wspin:\" in"},
      {"e=2", "\"e=\" in \"e=2\""},
      {"pink2/30", "\"pink2/30\" is not understood"},
      {"200M8/20", "\"200M8/20\" is not understood"},
  };
  for (const auto& c : cases) {
    const ExchangeRead r = ReadSbgText("a: 200+10/50 " + c.tone + "\nNOW a\n");
    ASSERT_FALSE(r) << c.tone;
    EXPECT_NE(r.Error().find("Line 1: " + c.part), std::string::npos)
        << c.tone << " -> " << r.Error();
  }
}

TEST(SbgImport, AClockTimeEqualToThePreviousLinesIsTheSameMoment) {
  const ExchangeRead r = ReadSbgText("-SE\na: 200+10/50\nb: 200+4/50\n22:00 a\n22:00 b\n22:10 a\n");
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ(TotalSeconds(r->Session), 600);
  EXPECT_EQ((r->Session)[1].FreqStart, 4);
}

TEST(SbgImport, BlocksArePlayedAtEachLineThatNamesThem) {
  const ExchangeRead r = ReadSbgText(
      "-SE\nt4: 150+4/30\nnone: pink/40\nt8: 150+8/30\nbursts: {\n +00:00 t4\n +00:10 none\n"
      " +00:20 == t8 ->\n +00:50 none\n}\n22:00 bursts\n23:00 t4\n23:15 none\n");
  ASSERT_TRUE(r) << r.Error();
  const Session& s = r->Session;
  // 10:00 at 4 Hz, 10:00 of noise left out, 30:00 sliding 8 Hz into the
  // noise (held), the noise to 23:00 left out, then 15:00 at 4 Hz.
  EXPECT_EQ(TotalSeconds(s), 600 + 1800 + 900) << AllChanges(r);
  EXPECT_EQ(s[1], (Segment{20, kImportedMode, 4, 4, 150}));
  EXPECT_EQ(s[3].FreqStart, 8);
  EXPECT_TRUE(Lists(r,
                    "line 7: 10:00 of \"none\", which has no binaural tone, are left out; "
                    "everything after it plays 10:00 earlier."))
      << AllChanges(r);
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
      {"a: 200+10/50 wobble/3\n", "Line 1: \"wobble/3\" is not understood"},
      {"a: 200+10/50\nNOW a\n" + std::string(5000, '#') + "\n", "Line 3 is longer than 4096"},
      {"-p drop 00ds+\n", "built-in program"},
      {"b: {\n +00:10 a\n", "has no closing \"}\""},
      {"b: {\nNOW a\n}\n", "Line 2: a block holds only +hh:mm time lines"},
  };
  for (const auto& c : cases) {
    const ExchangeRead r = ReadSbgText(c.text);
    EXPECT_FALSE(r) << c.text;
    EXPECT_NE(r.Error().find(c.reason), std::string::npos) << c.text << "\n-> " << r.Error();
  }
}

TEST(SbgImport, RefusesASessionBeyond380Segments) {
  std::string text = "a: 100+4/50\nb: 100+6/50\n";
  for (int i = 0; i <= 381; ++i)
    text += "+" + std::to_string(i / 60) + ":" + (i % 60 < 10 ? "0" : "") + std::to_string(i % 60) +
            " " + (i % 2 ? "a" : "b") + "\n";
  const ExchangeRead r = ReadSbgText("NOW a\n" + text);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::TooMany) << r.Error();
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
  ASSERT_TRUE(r) << r.Error();
  ASSERT_EQ(r->Session.SegCount, 2);
  // Entry 1 glides to entry 2's clamped 48 Hz; entry 2 lasts no time; entry
  // 3 glides back to entry 1, as the schedule starts over.
  EXPECT_EQ((r->Session)[1], (Segment{4, kImportedMode, 12, 48, 48}));
  EXPECT_EQ((r->Session)[2], (Segment{8, kImportedMode, 4, 12, 210}));
  const std::string all = AllChanges(r);
  EXPECT_TRUE(Lists(r, "voice 1 (pink noise) is not taken over")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 1: the carrier 30 Hz is outside 48 to 400")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 2: the beat 60 Hz is outside 1 to 48")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 1: the carrier glides from 48 to 210")) << all;
  EXPECT_TRUE(Lists(r, "voice 2, entry 3: the carrier glides from 210 to 48")) << all;
  EXPECT_TRUE(Lists(r, "loops (0) are not taken over")) << all;
}

TEST(GnauralImport, CountsThatDisagreeAreListedAndTheElementsRead) {
  const std::string entry2 =
      std::string(kBinaural).replace(kBinaural.find("<entrycount>3"), 13, "<entrycount>2");
  const struct {
    std::string text;
    std::string listed;
  } cases[] = {
      {Gnaural("<voicecount>1</voicecount><totalentrycount>4</totalentrycount>",
               kNoise + kBinaural),
       "<voicecount> says \"1\", but there are 2; the 2 are read."},
      {Gnaural("<voicecount>2</voicecount><totalentrycount>5</totalentrycount>",
               kNoise + kBinaural),
       "<totalentrycount> says \"5\", but there are 4"},
      {Gnaural("<voicecount>1</voicecount><totalentrycount>3</totalentrycount>", entry2),
       "voice 1: <entrycount> says \"2\", but there are 3"},
      {Gnaural("<totalentrycount>3</totalentrycount>", kBinaural),
       "<voicecount> says nothing, but there are 1"},
  };
  for (const auto& c : cases) {
    const ExchangeRead r = ReadGnauralText(c.text);
    ASSERT_TRUE(r) << c.text << "\n-> " << r.Error();
    EXPECT_EQ(r->Session.SegCount, 2);
    EXPECT_TRUE(Lists(r, c.listed)) << c.listed << "\n" << AllChanges(r);
  }
}

TEST(GnauralImport, RefusesBodiesThatAreBroken) {
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
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
    EXPECT_NE(r.Error().find(c.reason), std::string::npos) << c.text << "\n-> " << r.Error();
  }
}

TEST(GnauralImport, SilentEntriesAreLeftOutAndASecondBinauralVoiceIsListed) {
  const std::string first =
      "<voice><type>0</type><entrycount>3</entrycount><entries>\n"
      "<entry duration=\"60\" volume_left=\"0.5\" volume_right=\"0.5\" beatfreq=\"4\" "
      "basefreq=\"200\"/>\n"
      "<entry duration=\"60\" volume_left=\"0.5\" volume_right=\"0.5\" beatfreq=\"4\" "
      "basefreq=\"200\"/>\n"
      "<entry duration=\"600\" volume_left=\"0\" volume_right=\"0\" beatfreq=\"10\" "
      "basefreq=\"200\"/>\n"
      "</entries></voice>\n";
  const std::string second =
      "<voice><type>0</type><entrycount>1</entrycount><entries>\n"
      "<entry duration=\"600\" beatfreq=\"30\" basefreq=\"300\"/>\n</entries></voice>\n";
  const ExchangeRead r = ReadGnauralText(
      Gnaural("<voicecount>2</voicecount><totalentrycount>4</totalentrycount>\n", first + second));
  ASSERT_TRUE(r) << r.Error();
  // Two minutes at 4 Hz; the silent ten minutes that would glide from 10 back
  // to 4 Hz are not played as a sweep.
  ASSERT_EQ(r->Session.SegCount, 2);
  EXPECT_EQ((r->Session)[1], (Segment{4, kImportedMode, 4, 4, 200}));
  EXPECT_EQ((r->Session)[2], (Segment{4, kImportedMode, 4, 4, 200}));
  const std::string all = AllChanges(r);
  EXPECT_TRUE(Lists(r, "voice 1, entry 3: 10:00 at volume 0 are left out.")) << all;
  EXPECT_TRUE(Lists(r, "voice 2 (binaural beat) is not taken over.")) << all;
}

TEST(GnauralImport, ReadsAnIndentedFileOfManyEntries) {
  // The layout between 2000 entries is far more than any one text may hold;
  // numbers on lines of their own or between blanks are read as numbers.
  std::string entries;
  for (int i = 0; i < 2000; ++i)
    entries += "\n        <entry parent=\"0\" duration=\"" + std::string(i == 0 ? " 60 " : "0") +
               "\" beatfreq=\"4\t\" basefreq=\"100\" state=\"0\"/>";
  const ExchangeRead r = ReadGnauralText(
      Gnaural("  <voicecount>\n    1\n  </voicecount>\n  <totalentrycount>2000 "
              "</totalentrycount>\n",
              "  <voice>\n    <type>0</type>\n    <entrycount>2000</entrycount>\n    <entries>" +
                  entries + "\n    </entries>\n  </voice>\n"));
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ((r->Session)[1], (Segment{4, kImportedMode, 4, 4, 100}));
  EXPECT_FALSE(Lists(r, "says")) << AllChanges(r);
}

TEST(GnauralExport, CountsAgreeAndNamesTheSession) {
  const std::string text = GnauralText(FullTestSession(), "Full <&> run", "Producer 2.0");
  EXPECT_NE(text.find("<title>Full &lt;&amp;&gt; run</title>"), std::string::npos);
  // The reader checks every count; a full session reads back whole.
  const ExchangeRead back = ReadGnauralText(text);
  ASSERT_TRUE(back) << back.Error();
  EXPECT_EQ(back->Session.SegCount, MaxSegCount);
}

TEST_F(ExchangeFiles, AnotherExtensionIsRefusedAndAMissingFileNamed) {
  const ExchangeRead other = ReadFormatFile((dir_ / "x.txt").string(), {FormatRole::Schedule});
  ASSERT_FALSE(other);
  EXPECT_EQ(other.Kind(), Fault::Unsupported);
  const ExchangeRead missing = ReadFormatFile((dir_ / "gone.sbg").string(), {FormatRole::Schedule});
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.Kind(), Fault::NotFound);
  EXPECT_NE(missing.Error().find("gone.sbg"), std::string::npos) << missing.Error();
  EXPECT_EQ(WriteFormatFile((dir_ / "x.svs").string(), {FormatRole::Schedule}, Session{}, "x", "p")
                .Kind(),
            Fault::Unsupported);
  // A session file may hold a negative frequency, which no schedule holds.
  Session odd;
  odd[1].FreqEnd = -3;
  const FileWriteResult w =
      WriteFormatFile((dir_ / "odd.sbg").string(), {FormatRole::Schedule}, odd, "odd", "p");
  ASSERT_FALSE(w);
  EXPECT_EQ(w.Kind(), Fault::OutOfRange);
  EXPECT_NE(w.Error().find("segment 1"), std::string::npos) << w.Error();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "odd.sbg"));
}

}  // namespace
}  // namespace ovrel
