#pragma once
// A level that moves to its target in a straight line, one step a frame,
// never jumping: the player's volume and its fades at every start, pause,
// resume and stop, so that none of them clicks.

#include <cstddef>
#include <cstdint>

namespace ovrel::sound {

class LevelRamp {
 public:
  // rampFrames: how many frames a change from silence to full level takes.
  // It starts silent.
  explicit LevelRamp(int64_t rampFrames);

  void SetTarget(double level);
  double Target() const { return target_; }
  double Level() const { return level_; }
  bool Settled() const { return level_ == target_; }
  // Frames until the level has reached its target.
  int64_t FramesToTarget() const;

  // Multiplies each frame of interleaved 16-bit stereo by the level, which
  // moves one step towards the target before each frame.
  void Apply(int16_t* stereo, std::size_t frames);

 private:
  double step_;
  double level_ = 0;
  double target_ = 0;
};

}  // namespace ovrel::sound
