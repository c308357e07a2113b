// The frequency of the strongest tone in a stretch of samples, for tests
// that judge what another program played.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

struct TonePeak {
  double Hz = 0;
  double Power = -1;
};

// Searches lowHz..highHz of samples taken rateHz a second: the peak of the
// Hann-windowed spectrum (each point by Goertzel's recurrence), found on a
// grid of coarseHz and then refined in steps of fineHz around it.
inline TonePeak StrongestTone(const std::vector<double>& x, double rateHz, double lowHz,
                              double highHz, double coarseHz, double fineHz) {
  const size_t n = x.size();
  std::vector<double> w(n);
  for (size_t i = 0; i < n; ++i)
    w[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                        static_cast<double>(n - 1)));
  const auto powerAt = [&](double f) {
    const double k = 2 * std::cos(2 * std::numbers::pi * f / rateHz);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; ++i) {
      const double s0 = w[i] + k * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
  };
  TonePeak best{lowHz, -1};
  for (double f = lowHz; f <= highHz; f += coarseHz)
    if (const double p = powerAt(f); p > best.Power) best = {f, p};
  const double around = best.Hz;
  for (double f = around - 1.2 * coarseHz; f <= around + 1.2 * coarseHz; f += fineHz)
    if (const double p = powerAt(f); p > best.Power) best = {f, p};
  return best;
}
