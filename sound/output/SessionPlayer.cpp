#include "editor/SessionPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "editor/SoundServerProbe.h"

namespace ovrel {

namespace {

// The output's buffer: an edit is heard after about this long.
constexpr double kBufferSeconds = 0.25;
// How often the buffer is topped up: well within its length.
constexpr int kFeedMs = 20;
// The sound rises over this long when it starts, so that starting in the
// middle of a session makes no click.
constexpr double kStartRampSeconds = 0.03;
constexpr int kBytesPerFrame = 4;  // 16-bit stereo
// How long a stopped output is kept before it is deleted.
constexpr int kRetiredSinkMs = 2000;
// How long the sound server may take to answer before it counts as stuck.
constexpr std::chrono::milliseconds kServerAnswerTime{3000};
// Once a server has answered, Qt's output is connected to it for good.
bool serverAnswered = false;

// The sink's linear gain for a volume on the even-sounding scale.
float SinkVolume(double volume) {
  return static_cast<float>(
      QAudio::convertVolume(volume, QAudio::LogarithmicVolumeScale, QAudio::LinearVolumeScale));
}

}  // namespace

SessionPlayer::SessionPlayer(QObject* parent) : QObject(parent) {
  feedTimer_.setInterval(kFeedMs);
  connect(&feedTimer_, &QTimer::timeout, this, &SessionPlayer::Feed);
}

SessionPlayer::~SessionPlayer() { Stop(); }

bool SessionPlayer::Play(const Session& ses, int32_t k) {
  Stop();
  problem_.clear();
  if (!serverAnswered) {
    const SoundServerAnswer answer = ProbeSoundServer(kServerAnswerTime);
    if (answer == SoundServerAnswer::Silent) {
      Fail(QStringLiteral("The sound server does not answer: the session cannot be played."));
      return false;
    }
    serverAnswered = answer == SoundServerAnswer::Answered;
  }
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    Fail(QStringLiteral("No sound output was found: the session cannot be played."));
    return false;
  }
  sound::SynthSettings settings;
  settings.Beat = beat_;
  QAudioFormat format;
  format.setSampleRate(settings.Rate);
  format.setChannelCount(2);
  format.setSampleFormat(QAudioFormat::Int16);
  if (!device.isFormatSupported(format)) {
    Fail(QStringLiteral("The sound output %1 cannot play 16-bit stereo at %2 Hz.")
             .arg(device.description())
             .arg(settings.Rate));
    return false;
  }
  synth_ = std::make_unique<sound::SessionSynth>(ses, settings);
  synth_->StartAtSegment(k);
  startFrame_ = synth_->Position();
  framesWritten_ = 0;
  pending_.clear();
  sink_ = new QAudioSink(device, format, this);
  sink_->setBufferSize(static_cast<qsizetype>(kBufferSeconds * settings.Rate) * kBytesPerFrame);
  sink_->setVolume(SinkVolume(volume_));
  output_ = sink_->start();
  if (!output_ || sink_->error() != QAudio::NoError) {
    Fail(QStringLiteral("The sound output %1 refused to play.").arg(device.description()));
    return false;
  }
  connect(sink_, &QAudioSink::stateChanged, this, &SessionPlayer::onSinkStateChanged);
  state_ = State::Playing;
  Feed();
  feedTimer_.start();
  emit StateChanged();
  return true;
}

void SessionPlayer::Feed() {
  if (!sink_ || state_ != State::Playing) return;
  const int rate = synth_->Settings().Rate;
  const int64_t ramp = static_cast<int64_t>(kStartRampSeconds * rate);
  for (qsizetype room = sink_->bytesFree(); room >= kBytesPerFrame;) {
    if (pending_.isEmpty()) {
      const std::size_t frames = static_cast<std::size_t>(room / kBytesPerFrame);
      pending_.resize(static_cast<qsizetype>(frames) * kBytesPerFrame);
      auto* samples = reinterpret_cast<int16_t*>(pending_.data());
      const std::size_t got = synth_->Render16(samples, frames);
      for (std::size_t i = 0; i < got; ++i) {
        const int64_t n = framesWritten_ + static_cast<int64_t>(i);
        if (n >= ramp) break;
        const double gain = static_cast<double>(n) / static_cast<double>(ramp);
        samples[2 * i] = static_cast<int16_t>(samples[2 * i] * gain);
        samples[2 * i + 1] = static_cast<int16_t>(samples[2 * i + 1] * gain);
      }
      pending_.resize(static_cast<qsizetype>(got) * kBytesPerFrame);
      if (got == 0) {
        // The end of the session: once the sink has played what it holds,
        // the player stops (also where a sink does not report going idle).
        if (room >= sink_->bufferSize()) Stop();
        return;
      }
    }
    const qint64 taken = output_->write(pending_.constData(), std::min(room, pending_.size()));
    if (taken <= 0) return;
    pending_.remove(0, static_cast<qsizetype>(taken));
    framesWritten_ += taken / kBytesPerFrame;
    room -= static_cast<qsizetype>(taken);
  }
}

void SessionPlayer::Pause() {
  if (state_ != State::Playing) return;
  sink_->suspend();
  state_ = State::Paused;
  emit StateChanged();
}

void SessionPlayer::Resume() {
  if (state_ != State::Paused) return;
  sink_->resume();
  state_ = State::Playing;
  Feed();
  emit StateChanged();
}

void SessionPlayer::Stop() {
  feedTimer_.stop();
  if (sink_) {
    // Quietly: the sink's own report of stopping is not a failure.
    sink_->disconnect(this);
    sink_->stop();
    // Qt's PulseAudio output may still report the stopped stream's state
    // from the sound server's thread for a moment; a sink deleted at once
    // would take that report on a deleted object and crash the program.
    QTimer::singleShot(kRetiredSinkMs, sink_, &QObject::deleteLater);
    sink_ = nullptr;
    output_ = nullptr;
  }
  synth_.reset();
  pending_.clear();
  if (state_ == State::Stopped) return;
  state_ = State::Stopped;
  emit StateChanged();
}

void SessionPlayer::Fail(const QString& problem) {
  Stop();
  problem_ = problem;
  emit StateChanged();
}

void SessionPlayer::onSinkStateChanged() {
  if (!sink_) return;
  switch (sink_->error()) {
    case QAudio::NoError:
    case QAudio::UnderrunError:
      break;
    case QAudio::OpenError:
    case QAudio::IOError:
    case QAudio::FatalError:
      Fail(QStringLiteral("The sound output failed while playing."));
      return;
  }
  // Idle with nothing left to give: the session has been played to its end.
  if (sink_->state() == QAudio::IdleState && synth_->Finished() && pending_.isEmpty()) Stop();
}

void SessionPlayer::UpdateSession(const Session& ses) {
  if (synth_) synth_->ReplaceSession(ses);
}

void SessionPlayer::SetVolume(double volume) {
  volume_ = std::clamp(volume, 0.0, 1.0);
  if (sink_) sink_->setVolume(SinkVolume(volume_));
}

double SessionPlayer::PositionSeconds() const {
  if (!sink_) return 0;
  // What was handed over, less what still waits in the output's buffer.
  const int64_t queued = (sink_->bufferSize() - sink_->bytesFree()) / kBytesPerFrame;
  const int64_t heard = std::max<int64_t>(framesWritten_ - std::max<int64_t>(queued, 0), 0);
  const int64_t frame = std::min(startFrame_ + heard, synth_->TotalFrames());
  return static_cast<double>(frame) / synth_->Settings().Rate;
}

int32_t SessionPlayer::SegmentHeard() const {
  if (!sink_) return 0;
  return synth_->SegmentAtFrame(
      static_cast<int64_t>(PositionSeconds() * synth_->Settings().Rate));
}

}  // namespace ovrel
