#pragma once
// What the windows ask of the output that plays a session's sound. The
// output itself is a library of its own (sound/output/), which the program
// opens when a session is first played: the sound server's client and all
// it pulls in are then not loaded at every start. This header is the whole
// contract between the two, in standard C++ only; both sides are built
// together from the same sources.

#include <cstdint>
#include <functional>
#include <string>

#include "session/Session.h"
#include "sound/SessionSynth.h"

namespace ovrel::sound {

class SessionOutput {
 public:
  enum class State { Stopped, Playing, Paused };

  virtual ~SessionOutput() = default;

  // Called when the state changed by itself (the session was played to its
  // end, or the output failed), on the output's own thread.
  virtual void SetOnStateChanged(std::function<void()> changed) = 0;

  // Starts ses at the start of segment k with the given beat, stopping what
  // plays. Connects to the sound server afresh each time. False when no
  // sound can be played: Problem() then says why in one line.
  virtual bool Play(const Session& ses, int32_t k, BeatKind beat) = 0;
  // Each fades the sound out or in over a few milliseconds, never cuts it.
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  virtual void Stop() = 0;
  virtual State CurrentState() const = 0;
  virtual std::string Problem() const = 0;

  // The session as edited; heard from the next block on.
  virtual void UpdateSession(const Session& ses) = 0;
  // 0 (silent) to 1 (the sound's own level), on a scale that sounds even.
  virtual void SetVolume(double volume) = 0;

  // Where the sound being heard lies in the session, in seconds, and its
  // segment (0 when stopped).
  virtual double PositionSeconds() const = 0;
  virtual int32_t SegmentHeard() const = 0;
};

// The library's one exported function, with C linkage: makes an output the
// caller owns. The name carries the contract's version, so that a library
// of another build with another contract is refused, not called.
using MakeSessionOutputFunction = SessionOutput* (*)();
inline constexpr char kMakeSessionOutputName[] = "ovrel_make_session_output_v1";

}  // namespace ovrel::sound
