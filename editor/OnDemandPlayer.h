#pragma once
// The timeline window's player. The sound output (sound/output/, through
// the contract sound/SessionOutput.h) is a library of its own, opened at
// the first Play: until then the program has loaded nothing of the sound
// server. Reports the output's own changes (the end of the session, a
// failure) on the window's thread.

#include <QLibrary>
#include <QObject>
#include <QString>
#include <memory>

#include "sound/SessionOutput.h"

namespace ovrel {

class OnDemandPlayer : public QObject {
  Q_OBJECT
 public:
  using State = sound::SessionOutput::State;

  explicit OnDemandPlayer(QObject* parent = nullptr);
  ~OnDemandPlayer() override;

  // The beat the next Play makes (binaural by default).
  void SetBeat(sound::BeatKind beat) { beat_ = beat; }
  sound::BeatKind Beat() const { return beat_; }

  // Starts ses at the start of segment k, stopping what plays. False when
  // no sound can be played: Problem() then says why in one line.
  bool Play(const Session& ses, int32_t k);
  void Pause();
  void Resume();
  void Stop();
  State CurrentState() const;
  QString Problem() const;

  // The session as edited; heard from the next block on.
  void UpdateSession(const Session& ses);
  // 0 (silent) to 1 (the sound's own level), on a scale that sounds even.
  void SetVolume(double volume);
  double Volume() const { return volume_; }

  double PositionSeconds() const;
  int32_t SegmentHeard() const;

 signals:
  // Started, paused, resumed, stopped (also at the session's end or when
  // the output fails; Problem() then says why).
  void StateChanged();

 private:
  // Opens the sound output library once; false with problem_ set when it
  // cannot be.
  bool LoadOutput();

  sound::BeatKind beat_ = sound::BeatKind::Binaural;
  double volume_ = 0.8;
  QString problem_;
  std::unique_ptr<sound::SessionOutput> output_;
};

// The sound output library the program opens: OVREL_SOUND_OUTPUT when it is
// set, otherwise beside the executable (a build) or in the installed
// library folder.
QStringList SoundOutputLibraryCandidates();

}  // namespace ovrel
