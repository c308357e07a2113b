#include "sound/output/PlayStream.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <algorithm>

namespace ovrel::sound {

namespace {

// How long the server may take to answer, and to open the stream.
constexpr std::chrono::milliseconds kServerAnswerTime{3000};
// The server's buffer: a pause or a stop is heard after at most this long.
constexpr pa_usec_t kBufferUsec = 250 * PA_USEC_PER_MSEC;
// Every start, pause, resume and stop fades over this long.
constexpr double kFadeSeconds = 0.01;
constexpr std::size_t kBytesPerFrame = 4;  // 16-bit stereo
constexpr std::size_t kBlockFrames = 1024;

void Release(pa_operation* operation) {
  if (operation) pa_operation_unref(operation);
}

}  // namespace

PlayStream::PlayStream(const Session& ses, int32_t k, BeatKind beat, double gain)
    : synth_(ses, SynthSettings{.Rate = 44100, .Beat = beat, .FadeSeconds = 5.0}),
      ramp_(static_cast<int64_t>(kFadeSeconds * 44100)),
      gain_(gain) {
  synth_.StartAtSegment(k);
  startFrame_ = synth_.Position();
  ramp_.SetTarget(gain_);
}

std::unique_ptr<PlayStream> PlayStream::Start(const Session& ses, int32_t k, BeatKind beat,
                                              double gain, std::function<void()> ended,
                                              std::string* problem) {
  std::unique_ptr<PlayStream> stream(new PlayStream(ses, k, beat, gain));
  stream->ended_ = std::move(ended);
  if (!stream->Open(problem)) return nullptr;
  return stream;
}

bool PlayStream::Open(std::string* problem) {
  switch (server_.Connect(kServerAnswerTime)) {
    case SoundServerAnswer::Answered:
      break;
    case SoundServerAnswer::NoServer:
      *problem = "No sound output was found: the session cannot be played.";
      return false;
    case SoundServerAnswer::Silent:
      *problem = "The sound server does not answer: the session cannot be played.";
      return false;
  }
  server_.Lock();
  const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, static_cast<uint32_t>(synth_.Settings().Rate),
                                    2};
  stream_ = pa_stream_new(server_.Context(), "Session", &sampleFormat, nullptr);
  bool ready = false;
  if (timing_) {
    pa_operation_cancel(timing_);
    Release(timing_);
  }
  if (stream_) {
    pa_stream_set_state_callback(stream_, OnState, this);
    pa_stream_set_write_callback(stream_, OnWrite, this);
    pa_buffer_attr buffer{};
    buffer.maxlength = buffer.prebuf = buffer.minreq = buffer.fragsize = static_cast<uint32_t>(-1);
    buffer.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kBufferUsec, &sampleFormat));
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &buffer, flags, nullptr, nullptr) >= 0) {
      server_.WaitFor(
          [this] {
            const pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
          },
          kServerAnswerTime);
      ready = opened_ = pa_stream_get_state(stream_) == PA_STREAM_READY;
    }
  }
  if (!ready) {
    *problem = std::string("The sound output refused to play: ") +
               pa_strerror(pa_context_errno(server_.Context())) + ".";
    phase_ = Phase::Finished;
  }
  server_.Unlock();
  return ready;
}

PlayStream::~PlayStream() {
  server_.Lock();
  if (draining_) {
    pa_operation_cancel(draining_);
    Release(draining_);
  }
  if (timing_) {
    pa_operation_cancel(timing_);
    Release(timing_);
  }
  if (stream_) {
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }
  server_.Unlock();
}

void PlayStream::OnWrite(pa_stream*, std::size_t bytes, void* self) {
  static_cast<PlayStream*>(self)->Fill(bytes);
}

void PlayStream::OnState(pa_stream* stream, void* self) {
  auto* play = static_cast<PlayStream*>(self);
  // Failing while it plays; a stream that never opened is Open's to report.
  if (play->opened_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) &&
      play->phase_ != Phase::Finished)
    play->Fail();
  play->server_.Wake();
}

void PlayStream::OnTiming(pa_stream*, int, void* self) {
  auto* play = static_cast<PlayStream*>(self);
  Release(play->timing_);
  play->timing_ = nullptr;
}

void PlayStream::OnDrained(pa_stream*, int success, void* self) {
  static_cast<PlayStream*>(self)->Drained(success != 0);
}

void PlayStream::Fill(std::size_t bytes) {
  for (std::size_t frames = bytes / kBytesPerFrame; frames > 0;) {
    if (phase_ == Phase::Paused || phase_ == Phase::Finished || draining_) return;
    std::size_t n = std::min(frames, kBlockFrames);
    if (phase_ != Phase::Playing) {
      // Fading out: only what the fade still needs, so that a resume goes
      // on from where the sound fell silent.
      const int64_t left = ramp_.FramesToTarget();
      if (left == 0) return Drain();
      n = std::min(n, static_cast<std::size_t>(left));
    }
    block_.resize(2 * n);
    const std::size_t got = synth_.Render16(block_.data(), n);
    if (got == 0) return Drain();  // the session's end
    ramp_.Apply(block_.data(), got);
    if (pa_stream_write(stream_, block_.data(), got * kBytesPerFrame, nullptr, 0,
                        PA_SEEK_RELATIVE) < 0)
      return Fail();
    framesWritten_ += static_cast<int64_t>(got);
    frames -= got;
  }
}

void PlayStream::Drain() {
  if (!draining_) draining_ = pa_stream_drain(stream_, OnDrained, this);
}

void PlayStream::Drained(bool success) {
  Release(draining_);
  draining_ = nullptr;
  if (!success) return Fail();
  switch (phase_) {
    case Phase::Pausing:
      Release(pa_stream_cork(stream_, 1, nullptr, nullptr));
      phase_ = Phase::Paused;
      return;
    case Phase::Stopping:
      phase_ = Phase::Finished;
      return;
    case Phase::Playing:
      if (!synth_.Finished()) return;
      phase_ = Phase::Finished;
      if (ended_) ended_();
      return;
    case Phase::Paused:
    case Phase::Finished:
      return;
  }
}

void PlayStream::Fail() {
  const bool stopped = phase_ == Phase::Stopping;
  phase_ = Phase::Finished;
  if (stopped) return;
  failure_ = "The sound output failed while playing.";
  if (ended_) ended_();
}

void PlayStream::Pause() {
  server_.Lock();
  if (phase_ == Phase::Playing) {
    phase_ = Phase::Pausing;
    ramp_.SetTarget(0);
  }
  server_.Unlock();
}

void PlayStream::Resume() {
  server_.Lock();
  if (phase_ == Phase::Pausing || phase_ == Phase::Paused) {
    if (draining_) {
      pa_operation_cancel(draining_);
      Release(draining_);
      draining_ = nullptr;
    }
    if (phase_ == Phase::Paused) Release(pa_stream_cork(stream_, 0, nullptr, nullptr));
    phase_ = Phase::Playing;
    ramp_.SetTarget(gain_);
    const std::size_t room = pa_stream_writable_size(stream_);
    if (room != static_cast<std::size_t>(-1)) Fill(room);
    Release(pa_stream_trigger(stream_, nullptr, nullptr));
  }
  server_.Unlock();
}

void PlayStream::FadeOutAndFinish() {
  server_.Lock();
  if (phase_ == Phase::Paused) {
    phase_ = Phase::Finished;
  } else if (phase_ == Phase::Playing || phase_ == Phase::Pausing) {
    phase_ = Phase::Stopping;
    ramp_.SetTarget(0);
    // Already silent and waiting to drain: the drain finishes it.
    if (ramp_.Level() == 0 && !draining_) Drain();
  }
  server_.Unlock();
}

bool PlayStream::Finished() const {
  server_.Lock();
  const bool finished = phase_ == Phase::Finished;
  server_.Unlock();
  return finished;
}

std::string PlayStream::Failure() const {
  server_.Lock();
  std::string failure = failure_;
  server_.Unlock();
  return failure;
}

void PlayStream::UpdateSession(const Session& ses) {
  server_.Lock();
  synth_.ReplaceSession(ses);
  server_.Unlock();
}

void PlayStream::SetGain(double gain) {
  server_.Lock();
  gain_ = gain;
  if (phase_ == Phase::Playing) ramp_.SetTarget(gain_);
  server_.Unlock();
}

int64_t PlayStream::FramesHeard() const {
  if (phase_ == Phase::Paused || phase_ == Phase::Finished) return framesWritten_;
  // What the server last said it has played, carried forward by the time
  // since; each look asks the server again, so that the guess stays close.
  if (!timing_)
    timing_ = pa_stream_update_timing_info(stream_, OnTiming, const_cast<PlayStream*>(this));
  pa_usec_t played = 0;
  if (pa_stream_get_time(stream_, &played) < 0) return 0;
  const auto frames = static_cast<int64_t>(played * static_cast<pa_usec_t>(synth_.Settings().Rate) /
                                           PA_USEC_PER_SEC);
  return std::min(frames, framesWritten_);
}

double PlayStream::PositionSeconds() const {
  server_.Lock();
  const int64_t frame = std::min(startFrame_ + FramesHeard(), synth_.TotalFrames());
  server_.Unlock();
  return static_cast<double>(frame) / synth_.Settings().Rate;
}

int32_t PlayStream::SegmentHeard() const {
  const double at = PositionSeconds();
  server_.Lock();
  const int32_t k = synth_.SegmentAtFrame(static_cast<int64_t>(at * synth_.Settings().Rate));
  server_.Unlock();
  return k;
}

}  // namespace ovrel::sound
