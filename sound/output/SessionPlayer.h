#pragma once
// Plays a session's sound (sound/SessionSynth) to the desktop's default
// output through a QAudioSink. A timer tops the sink's buffer up with new
// blocks whenever it has room, however late the timer comes (the sink's own
// reading, one small period per tick, falls behind when the event loop is
// busy). An edit is handed over with UpdateSession and is heard from the
// next block on. Knows where the sound that is being heard lies in the
// session; shows nothing itself.

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "sound/SessionSynth.h"

class QAudioSink;

namespace ovrel {

class SessionPlayer : public QObject {
  Q_OBJECT
 public:
  enum class State { Stopped, Playing, Paused };

  explicit SessionPlayer(QObject* parent = nullptr);
  ~SessionPlayer() override;

  // The beat the next Play makes (binaural by default).
  void SetBeat(sound::BeatKind beat) { beat_ = beat; }
  sound::BeatKind Beat() const { return beat_; }

  // Starts ses at the start of segment k, stopping what plays. False when
  // no sound can be played: Problem() then says why in one line.
  bool Play(const Session& ses, int32_t k);
  void Pause();
  void Resume();
  void Stop();
  State CurrentState() const { return state_; }
  const QString& Problem() const { return problem_; }

  // The session as edited; heard from the next block on.
  void UpdateSession(const Session& ses);
  // 0 (silent) to 1 (the sound's own level, -6 dBFS), on a scale that
  // sounds even: the slider's middle is heard as about half as loud.
  void SetVolume(double volume);
  double Volume() const { return volume_; }

  // Where the sound being heard lies in the session, in seconds, and its
  // segment (0 when stopped).
  double PositionSeconds() const;
  int32_t SegmentHeard() const;

 signals:
  // Started, paused, resumed, stopped (also at the session's end or when
  // the output fails; Problem() then says why).
  void StateChanged();

 private:
  // Writes blocks into the sink while it has room.
  void Feed();
  void onSinkStateChanged();
  void Fail(const QString& problem);

  sound::BeatKind beat_ = sound::BeatKind::Binaural;
  State state_ = State::Stopped;
  QString problem_;
  double volume_ = 0.8;
  std::unique_ptr<sound::SessionSynth> synth_;
  QAudioSink* sink_ = nullptr;
  QIODevice* output_ = nullptr;  // the sink's, while it plays
  QTimer feedTimer_;
  QByteArray pending_;       // rendered, not yet taken by the sink
  int64_t startFrame_ = 0;   // where the sound started
  int64_t framesWritten_ = 0;
};

}  // namespace ovrel
