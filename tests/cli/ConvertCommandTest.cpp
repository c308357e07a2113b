// ovrel convert, run in-process through the ovrel_cli library.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "tests/cli/InProcessOvrel.h"

namespace {

using ConvertCommandTest = ovrel::test::FileCommandTest;

const QByteArray kRule = "#" + QByteArray(76, '-');
// Two segments: 1:00 sweeping 10 to 14 at pitch 200 in mode LR, then 2:00
// steady at 14 and pitch 220 in mode IN.
const QByteArray kSession =
    kRule + "\r\n# Sorvani Pro Session File\r\n" + kRule + "\r\nversion=23\r\n" + kRule +
    "\r\n3,0,\r\n4,10,14,200,200,\r\n40,14,14,220,220,\r\n0,\r\n" + kRule + "\r\n";

TEST_F(ConvertCommandTest, ASessionGoesThroughBothSchedulesAndComesBackWithModeIn) {
  write("Calm.svs", kSession);
  Outcome o = ovrel({"convert", "Calm.svs", "Calm.sbg"});
  EXPECT_EQ(o.status, 0) << o.err;
  // The first segment's mode LR is not carried: said once.
  EXPECT_NE(o.err.find("Calm.sbg: the segments' modes are not part of this format"),
            std::string::npos)
      << o.err;
  EXPECT_TRUE(read("Calm.sbg").contains("## Session: Calm"));
  o = ovrel({"convert", "Calm.sbg", "Calm.gnaural"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");  // every segment is now in mode IN, nothing was changed
  o = ovrel({"convert", "Calm.gnaural", "Back.svs"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  QByteArray want = kSession;
  want.replace("\r\n4,10,14,", "\r\n36,10,14,");  // mode LR (0) became IN (1): 4 + 32
  EXPECT_EQ(read("Back.svs"), want);
}

TEST_F(ConvertCommandTest, ListsChangesOnStderrAndRefusesWhatItCannotRead) {
  write("Wild.sbg", "t: 210.5+4.2/40 pink/10\nNOW t\n+00:01:10 t\n");
  Outcome o = ovrel({"convert", "Wild.sbg", "Wild.svs"});
  EXPECT_EQ(o.status, 0) << o.err;
  for (const char* change : {"Wild.sbg: line 1: the beat 4.2 Hz is rounded to 4 Hz.",
                             "Wild.sbg: line 1: the carrier 210.5 Hz is rounded to 210 Hz.",
                             "Wild.sbg: line 1: pink noise (pink/10) is not taken over.",
                             "Wild.sbg: line 2: the duration 1:10 becomes 1:15"})
    EXPECT_NE(o.err.find(change), std::string::npos) << change << "\n" << o.err;

  write("None.gnaural",
        "<schedule><voicecount>0</voicecount>"
        "<totalentrycount>0</totalentrycount></schedule>");
  o = ovrel({"convert", "None.gnaural", "None.svs"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("no binaural beat voice"), std::string::npos) << o.err;
  EXPECT_EQ(read("None.svs"), "(missing)");

  o = ovrel({"convert", "Wild.sbg", "Wild.wav"});
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_EQ(read("Wild.wav"), "(missing)");
  EXPECT_EQ(ovrel({"convert", "Wild.sbg"}).status, 2);
}

TEST_F(ConvertCommandTest, WarnsOfLostModesWhicheverSegmentHasOne) {
  // The first segment is in mode IN; only the second one (LR) is lost.
  QByteArray later = kSession;
  later.replace("\r\n4,10,14,", "\r\n36,10,14,").replace("\r\n40,14,", "\r\n8,14,");
  write("Later.svs", later);
  const Outcome o = ovrel({"convert", "Later.svs", "Later.gnaural"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("Later.gnaural: the segments' modes are not part of this format; segment 2"),
            std::string::npos)
      << o.err;
}

TEST_F(ConvertCommandTest, LengthSetsHowLongAnOpenEndPlays) {
  write("Alpha.sbg", "## Alpha 10 Hz\n\nts: pink/40 300+10/10\n\n0:00 ts");
  Outcome o = ovrel({"convert", "--length", "12", "Alpha.sbg", "Alpha.gnaural"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("Alpha.sbg: line 5: the last time line's \"ts\" plays on with no end; the "
                       "session gives it 12:00."),
            std::string::npos)
      << o.err;
  EXPECT_TRUE(read("Alpha.gnaural").contains("<totaltime>720</totaltime>"));
  for (const char* bad : {"0", "1:30", "2186", "x"})
    EXPECT_EQ(ovrel({"convert", "--length", bad, "Alpha.sbg", "B.svs"}).status, 2) << bad;
  EXPECT_EQ(ovrel({"convert", "Alpha.sbg", "--length"}).status, 2);
}

}  // namespace
