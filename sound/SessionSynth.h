#pragma once
// The sound of a session, as a preview of its frequency course: a tone at
// each segment's pitch carrying the stimulation frequency as a binaural beat
// (left ear pitch + f/2, right ear pitch - f/2) or as an isochronic pulse
// (one tone in both ears, gated f times a second). Within a segment the
// frequency moves in a straight line from its start to its end value.
//
// The synthesiser streams: callers pull blocks of any size, and the phase of
// every tone runs on across blocks and segment boundaries. Phases are kept
// in double precision and computed from the exact frequency course, so no
// frequency is ever rounded to a table step. It may start anywhere
// (StartAtSegment), and the session may be replaced between two blocks: the
// change is heard from the next block on, without a jump in phase.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "session/Session.h"

namespace ovrel::sound {

enum class BeatKind { Binaural, Isochronic };

struct SynthSettings {
  int Rate = 44100;           // samples a second per channel
  BeatKind Beat = BeatKind::Binaural;
  double FadeSeconds = 5.0;   // fade-in at the start, fade-out at the end; 0 for none
};

// The rates a sound may be made at.
inline constexpr int MinRate = 8000;
inline constexpr int MaxRate = 192000;
// The peak of every tone: half of full scale, -6 dBFS.
inline constexpr double PeakLevel = 0.5;
// The rise and fall of an isochronic pulse, in seconds (shorter when a
// pulse is too short for them).
inline constexpr double GateEdgeSeconds = 0.004;

class SessionSynth {
 public:
  // Keeps a copy of ses; starts at its beginning.
  SessionSynth(const Session& ses, SynthSettings settings);

  const SynthSettings& Settings() const { return settings_; }
  // Frames (one sample each channel) of the whole session: its total time
  // times the rate.
  int64_t TotalFrames() const { return total_; }
  // The next frame a block will start with.
  int64_t Position() const { return pos_; }
  bool Finished() const { return pos_ >= total_; }
  // The first frame of segment k (1..SegCount; SegCount + 1 gives the end).
  int64_t SegmentStartFrame(int32_t k) const;
  // The segment frame lies in (1..SegCount); SegCount after the end.
  int32_t SegmentAtFrame(int64_t frame) const;

  // Goes to the start of segment k with the phases a run from the start
  // would have there.
  void StartAtSegment(int32_t k);
  // Plays ses from the next block on; the position stays (clamped to the
  // new end) and every tone continues from its present phase.
  void ReplaceSession(const Session& ses);

  // Writes up to frames frames of interleaved stereo (left, right) and
  // returns how many were written: fewer only at the end of the session.
  std::size_t Render(float* out, std::size_t frames);
  // The same as 16-bit samples with triangular (TPDF) dither.
  std::size_t Render16(int16_t* out, std::size_t frames);

 private:
  // The frequency course of the two oscillators within segment k, in hertz
  // at the segment's start and end: for a binaural beat the two ears, for an
  // isochronic pulse the tone (a) and the gate (b).
  struct Course {
    double StartA, EndA, StartB, EndB;
  };
  Course CourseOf(int32_t k) const;
  // Cycles an oscillator running from start to end Hz over frames frames
  // turns through between frame from and frame to of its segment.
  static double Cycles(double start, double end, int64_t frames, int64_t from, int64_t to,
                       int rate);
  void ComputeBounds();
  // Renders frames frames (within one segment) at out without the fades.
  void RenderRun(float* out, std::size_t frames);
  void ApplyFades(float* out, int64_t first, std::size_t frames) const;

  Session ses_;
  SynthSettings settings_;
  std::vector<int64_t> bounds_;  // first frame of each segment, the total last
  int64_t total_ = 0;
  int64_t fadeFrames_ = 0;
  int64_t pos_ = 0;
  double phaseA_ = 0, phaseB_ = 0;  // in cycles, 0 <= phase < 1, at pos_
  uint64_t dither_ = 0x9E3779B97F4A7C15ull;  // the dither's random state
  float scratch_[2 * 1024];
};

}  // namespace ovrel::sound
