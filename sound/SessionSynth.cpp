#include "sound/SessionSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ovrel::sound {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// The phasors are set again from the exact phase this often, so that the
// rounding of the recurrence never adds up.
constexpr std::size_t kRunFrames = 1024;

double Fraction(double cycles) { return cycles - std::floor(cycles); }

// A raised-cosine step from 0 (x = 0) to 1 (x = 1).
double RaisedCosine(double x) { return 0.5 - 0.5 * std::cos(std::numbers::pi * x); }

// The level of an isochronic pulse at gate phase q (0 <= q < 1, the tone is
// on in the first half) with edges that take edge cycles.
float Gate(double q, double edge) {
  if (q >= 0.5) return 0.0f;
  if (q < edge) return static_cast<float>(RaisedCosine(q / edge));
  if (q > 0.5 - edge) return static_cast<float>(RaisedCosine((0.5 - q) / edge));
  return 1.0f;
}

}  // namespace

SessionSynth::SessionSynth(const Session& ses, SynthSettings settings)
    : ses_(ses), settings_(settings) {
  settings_.Rate = std::clamp(settings_.Rate, MinRate, MaxRate);
  settings_.FadeSeconds = std::max(settings_.FadeSeconds, 0.0);
  ComputeBounds();
}

void SessionSynth::ComputeBounds() {
  const int32_t count = std::clamp(ses_.SegCount, 0, MaxSegCount);
  bounds_.assign(1, 0);
  for (int32_t k = 1; k <= count; ++k) {
    const int64_t seconds = int64_t{std::max(ses_[k].Time, 0)} * TimeUnit;
    bounds_.push_back(bounds_.back() + seconds * settings_.Rate);
  }
  total_ = bounds_.back();
  fadeFrames_ = std::min(static_cast<int64_t>(std::llround(settings_.FadeSeconds * settings_.Rate)),
                         total_ / 2);
}

int64_t SessionSynth::SegmentStartFrame(int32_t k) const {
  return bounds_[static_cast<std::size_t>(std::clamp<int64_t>(k - 1, 0, bounds_.size() - 1))];
}

int32_t SessionSynth::SegmentAtFrame(int64_t frame) const {
  // The last segment whose start is at or before frame (empty segments are
  // passed over).
  const auto after = std::upper_bound(bounds_.begin(), bounds_.end() - 1, frame);
  return static_cast<int32_t>(std::max<std::ptrdiff_t>(after - bounds_.begin(), 1));
}

SessionSynth::Course SessionSynth::CourseOf(int32_t k) const {
  const Segment& seg = ses_[k];
  const double pitch = seg.Pitch;
  if (settings_.Beat == BeatKind::Isochronic)
    return {pitch, pitch, static_cast<double>(seg.FreqStart), static_cast<double>(seg.FreqEnd)};
  return {pitch + seg.FreqStart / 2.0, pitch + seg.FreqEnd / 2.0, pitch - seg.FreqStart / 2.0,
          pitch - seg.FreqEnd / 2.0};
}

double SessionSynth::Cycles(double start, double end, int64_t frames, int64_t from, int64_t to,
                            int rate) {
  // The frequency start + (end - start) * n / frames at frame n, integrated.
  const double span = static_cast<double>(to - from);
  const double chirp =
      frames > 0 ? (end - start) * span * static_cast<double>(to + from) / (2.0 * frames) : 0.0;
  return (start * span + chirp) / rate;
}

void SessionSynth::StartAtSegment(int32_t k) {
  k = std::clamp(k, 1, static_cast<int32_t>(bounds_.size()));
  pos_ = SegmentStartFrame(k);
  phaseA_ = phaseB_ = 0;
  for (int32_t j = 1; j < k; ++j) {
    const Course c = CourseOf(j);
    const int64_t frames = bounds_[static_cast<std::size_t>(j)] - bounds_[static_cast<std::size_t>(j - 1)];
    phaseA_ = Fraction(phaseA_ + Cycles(c.StartA, c.EndA, frames, 0, frames, settings_.Rate));
    phaseB_ = Fraction(phaseB_ + Cycles(c.StartB, c.EndB, frames, 0, frames, settings_.Rate));
  }
}

void SessionSynth::ReplaceSession(const Session& ses) {
  ses_ = ses;
  ComputeBounds();
  pos_ = std::min(pos_, total_);
}

void SessionSynth::RenderRun(float* out, std::size_t count) {
  const int32_t k = SegmentAtFrame(pos_);
  const int64_t segStart = bounds_[static_cast<std::size_t>(k - 1)];
  const int64_t frames = bounds_[static_cast<std::size_t>(k)] - segStart;
  const int64_t n0 = pos_ - segStart;
  const int64_t n1 = n0 + static_cast<int64_t>(count);
  const Course c = CourseOf(k);
  const double rate = settings_.Rate;
  const float level = static_cast<float>(PeakLevel);
  // Cycles an oscillator turns through from frame n to n + 1, and how much
  // that grows from one frame to the next.
  const auto step = [&](double start, double end) {
    return (start + (end - start) * (2.0 * static_cast<double>(n0) + 1) / (2.0 * frames)) / rate;
  };
  const double growA = (c.EndA - c.StartA) / (static_cast<double>(frames) * rate);
  const double growB = (c.EndB - c.StartB) / (static_cast<double>(frames) * rate);

  // Tone a by a rotating phasor z, turned each frame by w, which is itself
  // turned by v as the frequency moves.
  double zr = std::cos(kTwoPi * phaseA_), zi = std::sin(kTwoPi * phaseA_);
  const double stepA = step(c.StartA, c.EndA);
  double wr = std::cos(kTwoPi * stepA), wi = std::sin(kTwoPi * stepA);
  const double vr = std::cos(kTwoPi * growA), vi = std::sin(kTwoPi * growA);
  if (settings_.Beat == BeatKind::Binaural) {
    double yr = std::cos(kTwoPi * phaseB_), yi = std::sin(kTwoPi * phaseB_);
    const double stepB = step(c.StartB, c.EndB);
    double ur = std::cos(kTwoPi * stepB), ui = std::sin(kTwoPi * stepB);
    const double tr = std::cos(kTwoPi * growB), ti = std::sin(kTwoPi * growB);
    for (std::size_t i = 0; i < count; ++i) {
      out[2 * i] = level * static_cast<float>(zi);
      out[2 * i + 1] = level * static_cast<float>(yi);
      const double zr2 = zr * wr - zi * wi, zi2 = zr * wi + zi * wr;
      const double wr2 = wr * vr - wi * vi, wi2 = wr * vi + wi * vr;
      const double yr2 = yr * ur - yi * ui, yi2 = yr * ui + yi * ur;
      const double ur2 = ur * tr - ui * ti, ui2 = ur * ti + ui * tr;
      zr = zr2, zi = zi2, wr = wr2, wi = wi2, yr = yr2, yi = yi2, ur = ur2, ui = ui2;
    }
  } else {
    // The gate's phase advances by a step that grows linearly.
    double q = phaseB_;
    double stepB = step(c.StartB, c.EndB);
    for (std::size_t i = 0; i < count; ++i) {
      const double edge = std::min(GateEdgeSeconds * stepB * rate, 0.25);
      const float s = level * Gate(q, edge) * static_cast<float>(zi);
      out[2 * i] = out[2 * i + 1] = s;
      const double zr2 = zr * wr - zi * wi, zi2 = zr * wi + zi * wr;
      const double wr2 = wr * vr - wi * vi, wi2 = wr * vi + wi * vr;
      zr = zr2, zi = zi2, wr = wr2, wi = wi2;
      q += stepB;
      q -= std::floor(q);
      stepB += growB;
    }
  }
  phaseA_ = Fraction(phaseA_ + Cycles(c.StartA, c.EndA, frames, n0, n1, settings_.Rate));
  phaseB_ = Fraction(phaseB_ + Cycles(c.StartB, c.EndB, frames, n0, n1, settings_.Rate));
  pos_ = segStart + n1;
}

void SessionSynth::ApplyFades(float* out, int64_t first, std::size_t count) const {
  if (fadeFrames_ <= 0) return;
  const int64_t last = first + static_cast<int64_t>(count);
  if (first >= fadeFrames_ && last <= total_ - fadeFrames_) return;
  for (int64_t n = first; n < last; ++n) {
    // The distance to the nearer end, in frames, from the middle of the frame.
    const int64_t fromEnd = std::min(n, total_ - 1 - n);
    if (fromEnd >= fadeFrames_) continue;
    const float gain = static_cast<float>(
        RaisedCosine((static_cast<double>(fromEnd) + 0.5) / static_cast<double>(fadeFrames_)));
    const std::size_t i = static_cast<std::size_t>(n - first);
    out[2 * i] *= gain;
    out[2 * i + 1] *= gain;
  }
}

std::size_t SessionSynth::Render(float* out, std::size_t frames) {
  std::size_t done = 0;
  while (done < frames && pos_ < total_) {
    const int32_t k = SegmentAtFrame(pos_);
    const int64_t left = bounds_[static_cast<std::size_t>(k)] - pos_;
    const std::size_t run =
        std::min({frames - done, kRunFrames, static_cast<std::size_t>(left)});
    const int64_t first = pos_;
    RenderRun(out + 2 * done, run);
    ApplyFades(out + 2 * done, first, run);
    done += run;
  }
  return done;
}

std::size_t SessionSynth::Render16(int16_t* out, std::size_t frames) {
  std::size_t done = 0;
  while (done < frames) {
    const std::size_t got = Render(scratch_, std::min(frames - done, kRunFrames));
    if (got == 0) break;
    for (std::size_t i = 0; i < 2 * got; ++i) {
      // xorshift64*: two uniform numbers from each draw, whose sum less one
      // is the triangular dither of one step either side.
      dither_ ^= dither_ >> 12;
      dither_ ^= dither_ << 25;
      dither_ ^= dither_ >> 27;
      const uint64_t r = dither_ * 0x2545F4914F6CDD1Dull;
      constexpr float kUnit = 1.0f / 4294967296.0f;
      const float d = static_cast<float>(r >> 32) * kUnit + static_cast<float>(r & 0xFFFFFFFFu) * kUnit - 1.0f;
      const float v = scratch_[i] * 32767.0f + d;
      // Rounds to the nearest step (the offset keeps the value positive, so
      // that truncation rounds down).
      const int s = static_cast<int>(v + 32768.5f) - 32768;
      out[2 * done + i] = static_cast<int16_t>(std::clamp(s, -32768, 32767));
    }
    done += got;
  }
  return done;
}

}  // namespace ovrel::sound
