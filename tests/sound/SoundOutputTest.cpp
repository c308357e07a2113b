// The sound output as a listener meets it, through a private PulseAudio
// server whose null sink is recorded: the beat that reaches the speakers,
// fades instead of clicks at every start, pause, resume and stop, and
// playing again after the sound server was restarted. Also the level ramp
// the fades are made of.

#include <QTest>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "sound/LevelRamp.h"
#include "sound/ToneMeasure.h"
#include "sound/output/SessionPlayer.h"
#include "support/PulseServer.h"

namespace ovrel::sound {
namespace {

constexpr int kRate = 44100;
constexpr int64_t kFadeFrames = kRate / 100;  // the player's fades: 10 ms

// The frames of a recording before the first that carries sound.
std::size_t FirstSound(const std::vector<int16_t>& s, std::size_t from = 0) {
  std::size_t i = 2 * from;
  while (i < s.size() && std::abs(s[i]) < 200) ++i;
  return i / 2;
}

// The largest step from one sample of a channel to the next, and where.
std::pair<int, std::size_t> LargestStep(const std::vector<int16_t>& s) {
  std::pair<int, std::size_t> largest{0, 0};
  for (std::size_t i = 2; i < s.size(); ++i) {
    const int step = std::abs(int{s[i]} - int{s[i - 2]});
    if (step > largest.first) largest = {step, i / 2};
  }
  return largest;
}

// Silent stretches (no sample above a few steps of dither) of at least a
// tenth of a second between sound.
int SilentGaps(const std::vector<int16_t>& s) {
  int gaps = 0;
  std::size_t quiet = 0;
  bool heard = false;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    if (std::abs(s[i]) > 8 || std::abs(s[i + 1]) > 8) {
      if (heard && quiet >= kRate / 10) ++gaps;
      heard = true;
      quiet = 0;
    } else {
      ++quiet;
    }
  }
  return gaps;
}

Session TwoSegments() {
  Session ses;
  ses.SegCount = 2;
  ses[1] = {1, 1, 4, 4, 100};
  ses[2] = {1, 1, 10, 10, 200};
  return ses;
}

class SoundOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(server_.Error(), "");
    qputenv("PULSE_SERVER", server_.Address().toLocal8Bit());
    player_.SetVolume(1.0);
  }
  // Waits until the sound heard has moved past seconds.
  bool HeardPast(double seconds) {
    return QTest::qWaitFor([this, seconds] { return player_.PositionSeconds() > seconds; }, 8000);
  }

  test::PulseServer server_;
  SessionPlayer player_;
};

TEST_F(SoundOutputTest, TheBeatReachesTheDefaultOutputAndTheSessionEndStops) {
  ASSERT_TRUE(server_.StartRecording());
  // From the second segment: no fade-in of the session's own.
  ASSERT_TRUE(player_.Play(TwoSegments(), 2, BeatKind::Binaural)) << player_.Problem();
  EXPECT_EQ(player_.CurrentState(), SessionOutput::State::Playing);
  ASSERT_TRUE(HeardPast(15.05)) << "nothing was played";
  QTest::qWait(1600);
  EXPECT_EQ(player_.SegmentHeard(), 2);
  EXPECT_NEAR(player_.PositionSeconds(), 15 + 1.6, 0.3);
  // Cut to its first segment, the session has been played to its end: the
  // player stops by itself and says so.
  int changes = 0;
  player_.SetOnStateChanged([&changes] { ++changes; });
  Session cut = TwoSegments();
  cut.SegCount = 1;
  player_.UpdateSession(cut);
  EXPECT_TRUE(QTest::qWaitFor(
      [this] { return player_.CurrentState() == SessionOutput::State::Stopped; }, 2000));
  EXPECT_TRUE(QTest::qWaitFor([&changes] { return changes == 1; }, 1000));
  EXPECT_EQ(player_.Problem(), "");
  const std::vector<int16_t> heard = server_.StopRecording();

  const std::size_t start = FirstSound(heard);
  ASSERT_GE(heard.size() / 2, start + kRate + kRate / 4) << "too little was heard";
  const std::size_t from = start + kRate / 4;
  const double left = test::MeasureTone(heard, 0, from, kRate, kRate, 205.6);
  const double right = test::MeasureTone(heard, 1, from, kRate, kRate, 194.4);
  EXPECT_NEAR(left, 205, 0.1);
  EXPECT_NEAR(right, 195, 0.1);
}

TEST_F(SoundOutputTest, StartPauseResumeAndStopFadeInsteadOfClicking) {
  ASSERT_TRUE(server_.StartRecording());
  // From the middle of the session, where its own fade-in does not help.
  ASSERT_TRUE(player_.Play(TwoSegments(), 2, BeatKind::Binaural)) << player_.Problem();
  ASSERT_TRUE(HeardPast(15.3));
  player_.Pause();
  EXPECT_EQ(player_.CurrentState(), SessionOutput::State::Paused);
  // The pause is heard once the server has played what it holds; then the
  // sound stands still.
  QTest::qWait(600);
  const double paused = player_.PositionSeconds();
  QTest::qWait(300);
  EXPECT_EQ(player_.PositionSeconds(), paused);
  player_.Resume();
  EXPECT_EQ(player_.CurrentState(), SessionOutput::State::Playing);
  ASSERT_TRUE(HeardPast(paused + 0.3));
  player_.Stop();
  EXPECT_EQ(player_.CurrentState(), SessionOutput::State::Stopped);
  QTest::qWait(600);
  const std::vector<int16_t> heard = server_.StopRecording();

  ASSERT_LT(FirstSound(heard), heard.size() / 2) << "nothing was heard";
  EXPECT_EQ(SilentGaps(heard), 1) << "the pause was not heard as one silence";
  // Between two samples a 205 Hz tone at -6 dBFS moves at most by its own
  // slope, a fade by a step of its own more; a cut to silence or a jump
  // back to full level (thousands) is a click.
  const double limit = 16384 * (2 * std::numbers::pi * 205 / kRate + 1.0 / kFadeFrames) + 8;
  const auto [step, at] = LargestStep(heard);
  EXPECT_LE(step, limit) << "a click at frame " << at << " of " << heard.size() / 2;
}

TEST_F(SoundOutputTest, PlaysAgainAfterTheSoundServerRestarts) {
  ASSERT_TRUE(player_.Play(TwoSegments(), 2, BeatKind::Binaural)) << player_.Problem();
  ASSERT_TRUE(HeardPast(15.05));

  // The server goes away while the sound plays: the player stops and says
  // why, once.
  int changes = 0;
  player_.SetOnStateChanged([&changes] { ++changes; });
  server_.Kill();
  EXPECT_TRUE(QTest::qWaitFor(
      [this] { return player_.CurrentState() == SessionOutput::State::Stopped; }, 5000));
  EXPECT_EQ(player_.Problem(), "The sound output failed while playing.");
  EXPECT_EQ(changes, 1);
  // With no server, a Play says so.
  EXPECT_FALSE(player_.Play(TwoSegments(), 2, BeatKind::Binaural));
  EXPECT_EQ(player_.Problem(), "No sound output was found: the session cannot be played.");

  server_.Restart();
  ASSERT_EQ(server_.Error(), "");
  ASSERT_TRUE(server_.StartRecording());
  ASSERT_TRUE(player_.Play(TwoSegments(), 2, BeatKind::Binaural)) << player_.Problem();
  EXPECT_EQ(player_.Problem(), "");
  ASSERT_TRUE(HeardPast(15.6)) << "the restarted server was not played to";
  const std::vector<int16_t> heard = server_.StopRecording();
  const std::size_t start = FirstSound(heard);
  ASSERT_GE(heard.size() / 2, start + kRate / 2) << "nothing reached the restarted server";
  EXPECT_NEAR(test::MeasureTone(heard, 0, start + kRate / 8, kRate / 4, kRate, 205.6), 205, 0.5);
}

// The ramp every fade and volume change is made of: it reaches its target
// in exactly the frames it takes, never steps by more than its step, and
// leaves the sound as it is at full level.
TEST(LevelRampTest, MovesInEvenStepsToItsTarget) {
  struct Case {
    double From, To;
    int64_t Frames;  // to reach To
  };
  const Case cases[] = {{0, 1, 441}, {1, 0, 441}, {0.349, 0, 154}, {0.2, 0.8, 265}, {1, 1, 0}};
  for (const Case& c : cases) {
    LevelRamp ramp(441);
    ramp.SetTarget(c.From);
    std::vector<int16_t> settle(2 * 441, 1);
    ramp.Apply(settle.data(), 441);
    ASSERT_TRUE(ramp.Settled());
    ramp.SetTarget(c.To);
    EXPECT_EQ(ramp.FramesToTarget(), c.Frames) << c.From << " -> " << c.To;
    std::vector<int16_t> s(2 * 600, 20000);
    ramp.Apply(s.data(), 600);
    EXPECT_EQ(s[2 * 599], std::lround(20000 * c.To)) << c.From << " -> " << c.To;
    for (std::size_t i = 2; i < s.size(); ++i)
      ASSERT_LE(std::abs(s[i] - s[i - 2]), 20000 / 441 + 1) << c.From << " -> " << c.To;
    if (c.Frames > 0) {
      EXPECT_NE(s[2 * (c.Frames - 1) - 2], s[2 * (c.Frames - 1)]);
      EXPECT_EQ(s[2 * c.Frames], s[2 * (c.Frames - 1)]);
    }
  }
}

}  // namespace
}  // namespace ovrel::sound
