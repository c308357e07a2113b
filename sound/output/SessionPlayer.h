#pragma once
// Plays a session's sound (sound/SessionSynth) to the desktop's default
// output: each Play opens a stream of its own on a fresh connection to the
// sound server (sound/output/PlayStream), so a server restarted since the
// last Play is found again. A stopped sound fades out on its own while the
// next one may already start. Shows nothing itself.

#include <memory>
#include <vector>

#include "sound/SessionOutput.h"
#include "sound/output/PlayStream.h"

namespace ovrel::sound {

class SessionPlayer final : public SessionOutput {
 public:
  SessionPlayer() = default;
  ~SessionPlayer() override;

  void SetOnStateChanged(std::function<void()> changed) override;
  bool Play(const Session& ses, int32_t k, BeatKind beat) override;
  void Pause() override;
  void Resume() override;
  void Stop() override;
  State CurrentState() const override;
  std::string Problem() const override;
  void UpdateSession(const Session& ses) override;
  void SetVolume(double volume) override;
  double PositionSeconds() const override;
  int32_t SegmentHeard() const override;

 private:
  // Lets go of the stopped sounds whose fade has been heard.
  void ForgetFaded();

  std::function<void()> changed_;
  std::unique_ptr<PlayStream> playing_;
  std::vector<std::unique_ptr<PlayStream>> fading_;
  bool paused_ = false;
  double gain_ = 1;  // the sound's own level until SetVolume
  std::string problem_;
};

// The linear gain of a volume on the even-sounding scale (0 to 1): the
// middle is heard as about half as loud as the top.
double GainOfVolume(double volume);

}  // namespace ovrel::sound
