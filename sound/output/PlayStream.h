#pragma once
// One sound being played: a stream to the sound server, fed from the
// server's own thread with blocks of the session's sound whenever the
// server asks for more, so that a busy window never starves it. The level
// rises and falls over ten milliseconds at the start, at a pause, a resume
// and a stop; a pause or stop takes effect once its fade has been heard
// (the server holds a quarter of a second), and where the sound stopped is
// where a resume goes on.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sound/LevelRamp.h"
#include "sound/SessionSynth.h"
#include "sound/output/ServerConnection.h"

struct pa_operation;
struct pa_stream;

namespace ovrel::sound {

class PlayStream {
 public:
  // Connects to the server and starts ses at segment k at level gain (0 to
  // 1). Null when nothing can be played, with *problem saying why.
  // ended is called, on the server's thread, when the sound ends by itself:
  // played to the end, or the output failed (Failure() then says so).
  static std::unique_ptr<PlayStream> Start(const Session& ses, int32_t k, BeatKind beat,
                                           double gain, std::function<void()> ended,
                                           std::string* problem);
  ~PlayStream();
  PlayStream(const PlayStream&) = delete;
  PlayStream& operator=(const PlayStream&) = delete;

  void Pause();
  void Resume();
  // Fades out; Finished() once the fade has been heard.
  void FadeOutAndFinish();
  // Played to the end, faded out after a stop, or failed.
  bool Finished() const;
  std::string Failure() const;

  void UpdateSession(const Session& ses);
  void SetGain(double gain);
  double PositionSeconds() const;
  int32_t SegmentHeard() const;

 private:
  enum class Phase { Playing, Pausing, Paused, Stopping, Finished };

  PlayStream(const Session& ses, int32_t k, BeatKind beat, double gain);
  bool Open(std::string* problem);
  // Writes up to bytes of sound into the stream (server's thread, locked).
  void Fill(std::size_t bytes);
  // Once all that was written has been heard: a pause corks the stream; a
  // stop or the session's end finishes it.
  void Drain();
  void Drained(bool success);
  void Fail();
  int64_t FramesHeard() const;

  static void OnWrite(pa_stream*, std::size_t bytes, void* self);
  static void OnState(pa_stream*, void* self);
  static void OnTiming(pa_stream*, int success, void* self);
  static void OnDrained(pa_stream*, int success, void* self);

  mutable ServerConnection server_;  // its lock guards all below
  pa_stream* stream_ = nullptr;
  pa_operation* draining_ = nullptr;
  mutable pa_operation* timing_ = nullptr;  // a question about what was played
  SessionSynth synth_;
  LevelRamp ramp_;
  double gain_;
  Phase phase_ = Phase::Playing;
  bool opened_ = false;
  std::function<void()> ended_;
  std::string failure_;
  int64_t startFrame_ = 0;
  int64_t framesWritten_ = 0;
  std::vector<int16_t> block_;
};

}  // namespace ovrel::sound
