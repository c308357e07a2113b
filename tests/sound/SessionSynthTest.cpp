// The synthesiser against what a listener hears: the tones each ear gets at
// chosen moments, the beat between them, a course with no clicks, the exact
// length, the isochronic pulse rate, fades and the peak level, starting at
// a segment and edits heard while it plays.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "sound/SessionSynth.h"
#include "sound/ToneMeasure.h"

namespace ovrel::sound {
namespace {

using test::MeasureTone;

constexpr int kRate = 44100;

Session TestSession() {
  Session ses;
  ses.SegCount = 3;
  ses[1] = {4, 1, 10, 10, 200};  // 0:00-1:00, 10 Hz beat at 200 Hz
  ses[2] = {2, 0, 4, 20, 150};   // 1:00-1:30, 4 -> 20 Hz at 150 Hz
  ses[3] = {1, 2, 48, 1, 48};    // 1:30-1:45, 48 -> 1 Hz at 48 Hz
  return ses;
}

std::vector<float> RenderAll(SessionSynth& synth, std::size_t block) {
  std::vector<float> out;
  std::vector<float> buffer(2 * block);
  while (const std::size_t n = synth.Render(buffer.data(), block))
    out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(2 * n));
  return out;
}

// Each ear's tone over the one second around second t.
struct Ears {
  double Left, Right;
};
Ears TonesAround(const std::vector<float>& s, double t, double nearLeft, double nearRight) {
  const auto first = static_cast<std::size_t>((t - 0.5) * kRate);
  return {MeasureTone(s, 0, first, kRate, kRate, nearLeft),
          MeasureTone(s, 1, first, kRate, kRate, nearRight)};
}

TEST(SessionSynthTest, EachEarCarriesPitchAndHalfTheBeatAlongTheCourse) {
  SessionSynth synth(TestSession(), {});
  const std::vector<float> s = RenderAll(synth, 4096);

  struct Point {
    double Second, Pitch, Beat;
  } points[] = {
      {30, 200, 10},          // a steady segment
      {75, 150, 12},          // halfway along 4 -> 20 Hz
      {97.5, 48, 24.5},       // halfway along 48 -> 1 Hz
      {61, 150, 4 + 16 / 30.0},  // just after a boundary
  };
  for (const Point& p : points) {
    // Looked for a little off, so that a wrong course cannot be found by
    // starting at the right answer.
    const Ears ears = TonesAround(s, p.Second, p.Pitch + p.Beat / 2 + 0.7, p.Pitch - p.Beat / 2 - 0.7);
    EXPECT_NEAR(ears.Left, p.Pitch + p.Beat / 2, 0.1) << "at " << p.Second << " s";
    EXPECT_NEAR(ears.Right, p.Pitch - p.Beat / 2, 0.1) << "at " << p.Second << " s";
    EXPECT_NEAR(ears.Left - ears.Right, p.Beat, 0.1) << "at " << p.Second << " s";
  }
}

TEST(SessionSynthTest, LengthIsTheTotalTimeTimesTheRateInAnyBlocks) {
  for (int rate : {44100, 22050, 48000}) {
    SessionSynth synth(TestSession(), {rate, BeatKind::Binaural, 5});
    EXPECT_EQ(synth.TotalFrames(), int64_t{105} * rate);
    const std::vector<float> s = RenderAll(synth, 997);
    EXPECT_EQ(s.size(), std::size_t(2 * 105) * static_cast<std::size_t>(rate)) << rate;
    float more[2];
    EXPECT_EQ(synth.Render(more, 1), 0u);
  }
}

TEST(SessionSynthTest, NoClickAnywhereAndBlocksDoNotChangeTheSound) {
  SessionSynth a(TestSession(), {});
  SessionSynth b(TestSession(), {});
  const std::vector<float> whole = RenderAll(a, 65536);
  const std::vector<float> pieces = RenderAll(b, 333);
  ASSERT_EQ(whole.size(), pieces.size());
  double worstDifference = 0;
  for (std::size_t i = 0; i < whole.size(); ++i)
    worstDifference = std::max(worstDifference, std::abs(double(whole[i]) - pieces[i]));
  EXPECT_LT(worstDifference, 1e-5);

  // A tone of f Hz at level 0.5 moves at most 0.5 * 2 pi f / rate from one
  // sample to the next; the highest tone here is 200 + 10 / 2 Hz. A phase
  // that jumped at a boundary or between blocks would step further.
  const double limit = PeakLevel * 2 * std::numbers::pi * 205 / kRate * 1.01;
  float peak = 0;
  for (std::size_t i = 2; i < whole.size(); ++i) {
    ASSERT_LE(std::abs(whole[i] - whole[i - 2]), limit) << "frame " << i / 2;
    peak = std::max(peak, std::abs(whole[i]));
  }
  EXPECT_LE(peak, PeakLevel);
  EXPECT_GT(peak, PeakLevel * 0.999);
}

TEST(SessionSynthTest, FadesInAndOutAndNotWhenTheFadeIsZero) {
  Session ses;
  ses[1] = {1, 1, 10, 10, 100};
  SessionSynth faded(ses, {kRate, BeatKind::Binaural, 5});
  const std::vector<float> s = RenderAll(faded, 4096);
  const auto levelAround = [&](double second) {
    float peak = 0;
    const auto from = static_cast<std::size_t>(second * kRate);
    for (std::size_t i = from; i < from + kRate / 50; ++i) peak = std::max(peak, std::abs(s[2 * i]));
    return peak;
  };
  EXPECT_LT(levelAround(0), 0.001);
  EXPECT_NEAR(levelAround(2.49), PeakLevel / 2, 0.02);  // halfway in
  EXPECT_NEAR(levelAround(5.5), PeakLevel, 0.001);
  EXPECT_NEAR(levelAround(12.49), PeakLevel / 2, 0.02);
  EXPECT_LT(std::abs(s[s.size() - 2]), 0.001);

  SessionSynth sudden(ses, {kRate, BeatKind::Binaural, 0});
  const std::vector<float> t = RenderAll(sudden, 4096);
  float start = 0;
  for (std::size_t i = 0; i < 2 * 200; ++i) start = std::max(start, std::abs(t[i]));
  EXPECT_GT(start, PeakLevel * 0.99);
}

// Pulses (a sounding run after at least a millisecond of silence) in
// frames [from, to) of the left channel.
int CountPulses(const std::vector<float>& s, std::size_t from, std::size_t to) {
  int pulses = 0;
  std::size_t silent = 0;
  for (std::size_t i = from; i < to; ++i) {
    if (s[2 * i] == 0.0f) {
      ++silent;
      continue;
    }
    if (silent >= kRate / 1000) ++pulses;
    silent = 0;
  }
  return pulses;
}

TEST(SessionSynthTest, IsochronicPulsesFTimesASecondWithSoftEdges) {
  SessionSynth synth(TestSession(), {kRate, BeatKind::Isochronic, 0});
  const std::vector<float> s = RenderAll(synth, 1000);
  // One tone in both ears.
  for (std::size_t i = 0; i < s.size(); i += 2) ASSERT_EQ(s[i], s[i + 1]);
  EXPECT_NEAR(MeasureTone(s, 0, 20 * kRate, kRate, kRate, 200.6), 200, 0.1);
  // 10 Hz for 60 s: the first pulse starts at 0 without silence before it.
  EXPECT_EQ(CountPulses(s, 0, 60 * kRate), 599);
  // 4 -> 20 Hz over 30 s: 12 Hz on average.
  EXPECT_NEAR(CountPulses(s, 60 * kRate, 90 * kRate), 360, 1);
  // Ten seconds of a steady 10 Hz.
  EXPECT_NEAR(CountPulses(s, 10 * kRate, 20 * kRate), 100, 1);

  // No hard onset: the first sample of a pulse is far below the peak.
  float worstOnset = 0;
  for (std::size_t i = 2; i < s.size(); i += 2)
    if (s[i - 2] == 0.0f && s[i] != 0.0f) worstOnset = std::max(worstOnset, std::abs(s[i]));
  EXPECT_LT(worstOnset, 0.05 * PeakLevel);
}

TEST(SessionSynthTest, StartingAtASegmentSoundsAsPlayingThroughToIt) {
  SessionSynth through(TestSession(), {});
  const std::vector<float> all = RenderAll(through, 4096);
  SessionSynth started(TestSession(), {});
  started.StartAtSegment(3);
  EXPECT_EQ(started.Position(), int64_t{90} * kRate);
  EXPECT_EQ(started.SegmentAtFrame(started.Position()), 3);
  const std::vector<float> rest = RenderAll(started, 4096);
  ASSERT_EQ(rest.size(), all.size() - std::size_t(2 * 90 * kRate));
  for (std::size_t i = 0; i < rest.size(); ++i)
    ASSERT_NEAR(rest[i], all[i + 2 * 90 * kRate], 1e-5) << "frame " << i / 2;
}

TEST(SessionSynthTest, AnEditIsHeardFromTheNextBlockWithoutAJump) {
  SessionSynth synth(TestSession(), {kRate, BeatKind::Binaural, 0});
  synth.StartAtSegment(1);
  std::vector<float> before(2 * kRate / 2);
  synth.Render(before.data(), kRate / 2);
  Session edited = TestSession();
  edited[1].Pitch = 300;
  edited[1].FreqStart = edited[1].FreqEnd = 6;
  synth.ReplaceSession(edited);
  std::vector<float> after(2 * kRate);
  ASSERT_EQ(synth.Render(after.data(), kRate), std::size_t(kRate));
  EXPECT_NEAR(MeasureTone(after, 0, 0, kRate, kRate, 302.6), 303, 0.1);
  EXPECT_NEAR(MeasureTone(after, 1, 0, kRate, kRate, 296.6), 297, 0.1);
  const double limit = PeakLevel * 2 * std::numbers::pi * 303 / kRate * 1.01;
  EXPECT_LE(std::abs(after[0] - before[before.size() - 2]), limit);
  EXPECT_LE(std::abs(after[1] - before[before.size() - 1]), limit);

  // A session cut shorter than where it plays ends the sound.
  synth.StartAtSegment(3);
  Session shorter = TestSession();
  shorter.SegCount = 1;
  shorter[1].Time = 1;
  synth.ReplaceSession(shorter);
  EXPECT_TRUE(synth.Finished());
  EXPECT_EQ(synth.Render(after.data(), 10), 0u);
}

TEST(SessionSynthTest, SixteenBitSamplesCarryTriangularDither) {
  Session ses;
  ses[1] = {1, 1, 10, 10, 100};
  SessionSynth floats(ses, {});
  SessionSynth ints(ses, {});
  std::vector<float> f(2 * kRate);
  std::vector<int16_t> q(2 * kRate);
  floats.StartAtSegment(1);
  ints.StartAtSegment(1);
  for (int second = 0; second < 6; ++second) {
    floats.Render(f.data(), kRate);
    ints.Render16(q.data(), kRate);
  }
  // The error of rounding with a triangular dither of one step either side
  // has a variance of 1/4 step squared (1/12 without dither), and a mean of
  // nothing; it never reaches two steps.
  double sum = 0, squares = 0, worst = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    const double e = q[i] - f[i] * 32767.0;
    sum += e, squares += e * e, worst = std::max(worst, std::abs(e));
  }
  const double mean = sum / f.size();
  EXPECT_NEAR(mean, 0, 0.01);
  EXPECT_NEAR(squares / f.size() - mean * mean, 0.25, 0.02);
  EXPECT_LT(worst, 1.5);
  int16_t peak = 0;
  for (int16_t v : q) peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(v)));
  EXPECT_LE(peak, 16385);  // -6 dBFS, plus the dither
}

}  // namespace
}  // namespace ovrel::sound
