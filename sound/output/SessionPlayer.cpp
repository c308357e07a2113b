#include "sound/output/SessionPlayer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace ovrel::sound {

namespace {

// How long a player that goes away waits for its last fade to be heard.
constexpr auto kLastFadeTime = std::chrono::milliseconds(600);

}  // namespace

double GainOfVolume(double volume) {
  volume = std::clamp(volume, 0.0, 1.0);
  if (volume > 0.99) return 1.0;
  return -std::log(1.0 - volume) / std::log(100.0);
}

SessionPlayer::~SessionPlayer() {
  Stop();
  const auto until = std::chrono::steady_clock::now() + kLastFadeTime;
  while (!fading_.empty() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ForgetFaded();
  }
}

void SessionPlayer::SetOnStateChanged(std::function<void()> changed) {
  changed_ = std::move(changed);
}

bool SessionPlayer::Play(const Session& ses, int32_t k, BeatKind beat) {
  Stop();
  problem_.clear();
  paused_ = false;
  playing_ = PlayStream::Start(
      ses, k, beat, gain_,
      [this] {
        if (changed_) changed_();
      },
      &problem_);
  return playing_ != nullptr;
}

void SessionPlayer::Pause() {
  if (CurrentState() != State::Playing) return;
  playing_->Pause();
  paused_ = true;
}

void SessionPlayer::Resume() {
  if (CurrentState() != State::Paused) return;
  playing_->Resume();
  paused_ = false;
}

void SessionPlayer::Stop() {
  if (playing_) {
    playing_->FadeOutAndFinish();
    fading_.push_back(std::move(playing_));
  }
  paused_ = false;
  ForgetFaded();
}

void SessionPlayer::ForgetFaded() {
  std::erase_if(fading_, [](const std::unique_ptr<PlayStream>& s) { return s->Finished(); });
}

SessionOutput::State SessionPlayer::CurrentState() const {
  if (!playing_ || playing_->Finished()) return State::Stopped;
  return paused_ ? State::Paused : State::Playing;
}

std::string SessionPlayer::Problem() const {
  if (playing_ && problem_.empty()) return playing_->Failure();
  return problem_;
}

void SessionPlayer::UpdateSession(const Session& ses) {
  if (playing_) playing_->UpdateSession(ses);
}

void SessionPlayer::SetVolume(double volume) {
  gain_ = GainOfVolume(volume);
  if (playing_) playing_->SetGain(gain_);
}

double SessionPlayer::PositionSeconds() const {
  return CurrentState() == State::Stopped ? 0 : playing_->PositionSeconds();
}

int32_t SessionPlayer::SegmentHeard() const {
  return CurrentState() == State::Stopped ? 0 : playing_->SegmentHeard();
}

}  // namespace ovrel::sound
