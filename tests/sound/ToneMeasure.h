#pragma once
// Measures which tone a channel of interleaved stereo carries: the peak of
// its Hann-windowed spectrum, found to a thousandth of a hertz.

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

namespace ovrel::test {

// The strength of frequency hz in samples (Goertzel's recurrence, which
// takes any frequency, not only whole bins).
inline double ToneStrength(const std::vector<double>& samples, double hz, int rate) {
  const double w = 2 * std::numbers::pi * hz / rate;
  const double c = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (double x : samples) {
    const double s0 = x + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// The strongest frequency within near +- 3 Hz of channel (0 left, 1 right)
// of frames [first, first + count).
template <typename Sample>
double MeasureTone(const std::vector<Sample>& stereo, int channel, std::size_t first,
                   std::size_t count, int rate, double near) {
  std::vector<double> x(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / count);
    x[i] = hann * static_cast<double>(stereo[2 * (first + i) + static_cast<std::size_t>(channel)]);
  }
  // A coarse search over the whole span, then two finer ones around its peak.
  double best = near, span = 3.0;
  for (double step : {0.05, 0.005, 0.0005}) {
    const double from = best - span;
    double bestStrength = -1;
    for (double hz = from; hz <= from + 2 * span + step / 2; hz += step) {
      const double s = ToneStrength(x, hz, rate);
      if (s > bestStrength) bestStrength = s, best = hz;
    }
    span = 2 * step;
  }
  return best;
}

}  // namespace ovrel::test
