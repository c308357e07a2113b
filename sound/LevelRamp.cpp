#include "sound/LevelRamp.h"

#include <algorithm>
#include <cmath>

namespace ovrel::sound {

LevelRamp::LevelRamp(int64_t rampFrames)
    : step_(1.0 / static_cast<double>(std::max<int64_t>(rampFrames, 1))) {}

void LevelRamp::SetTarget(double level) {
  target_ = std::clamp(level, 0.0, 1.0);
}

int64_t LevelRamp::FramesToTarget() const {
  return static_cast<int64_t>(std::ceil(std::abs(target_ - level_) / step_ - 1e-6));
}

void LevelRamp::Apply(int16_t* stereo, std::size_t frames) {
  for (std::size_t i = 0; i < frames; ++i) {
    // The last step lands on the target exactly, whatever the rounding.
    if (std::abs(target_ - level_) <= step_ * (1 + 1e-6))
      level_ = target_;
    else
      level_ += level_ < target_ ? step_ : -step_;
    if (level_ == 1.0) continue;
    for (std::size_t c = 2 * i; c < 2 * i + 2; ++c)
      stereo[c] = static_cast<int16_t>(std::lround(stereo[c] * level_));
  }
}

}  // namespace ovrel::sound
