#include "editor/OnDemandPlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ovrel {

namespace {

// The library's file name and, from the installed executable's folder, the
// folder it is installed in; the build sets both from its layout.
#ifndef OVREL_SOUND_OUTPUT_FILE
#define OVREL_SOUND_OUTPUT_FILE "ovrel-sound-output.so"
#endif
#ifndef OVREL_INSTALLED_LIBS
#define OVREL_INSTALLED_LIBS "../libexec/ovrelware"
#endif

}  // namespace

QStringList SoundOutputLibraryCandidates() {
  const QString chosen = qEnvironmentVariable("OVREL_SOUND_OUTPUT");
  if (!chosen.isEmpty()) return {chosen};
  const QString executable = QCoreApplication::applicationDirPath();
  return {executable + QStringLiteral("/" OVREL_SOUND_OUTPUT_FILE),
          QDir::cleanPath(executable +
                          QStringLiteral("/" OVREL_INSTALLED_LIBS "/" OVREL_SOUND_OUTPUT_FILE))};
}

OnDemandPlayer::OnDemandPlayer(QObject* parent) : QObject(parent) {}

OnDemandPlayer::~OnDemandPlayer() {
  // Before this object goes: the output calls back into it.
  output_.reset();
}

bool OnDemandPlayer::LoadOutput() {
  if (output_) return true;
  QString why;
  for (const QString& path : SoundOutputLibraryCandidates()) {
    if (!QFileInfo::exists(path)) continue;
    // Never unloaded: a stopped sound may still be fading out on its thread.
    QLibrary library(path);
    auto make = reinterpret_cast<sound::MakeSessionOutputFunction>(
        library.resolve(sound::kMakeSessionOutputName));
    if (!make) {
      why = library.errorString();
      continue;
    }
    output_.reset(make());
    output_->SetOnStateChanged([this] {
      QMetaObject::invokeMethod(this, &OnDemandPlayer::StateChanged, Qt::QueuedConnection);
    });
    return true;
  }
  problem_ = QStringLiteral("The sound output could not be loaded: %1")
                 .arg(why.isEmpty() ? SoundOutputLibraryCandidates().constLast() +
                                          QStringLiteral(" is missing.")
                                    : why);
  return false;
}

bool OnDemandPlayer::Play(const Session& ses, int32_t k) {
  problem_.clear();
  if (!LoadOutput()) {
    emit StateChanged();
    return false;
  }
  output_->SetVolume(volume_);
  const bool playing = output_->Play(ses, k, beat_);
  emit StateChanged();
  return playing;
}

void OnDemandPlayer::Pause() {
  if (CurrentState() != State::Playing) return;
  output_->Pause();
  emit StateChanged();
}

void OnDemandPlayer::Resume() {
  if (CurrentState() != State::Paused) return;
  output_->Resume();
  emit StateChanged();
}

void OnDemandPlayer::Stop() {
  if (CurrentState() == State::Stopped) return;
  output_->Stop();
  emit StateChanged();
}

OnDemandPlayer::State OnDemandPlayer::CurrentState() const {
  return output_ ? output_->CurrentState() : State::Stopped;
}

QString OnDemandPlayer::Problem() const {
  if (!problem_.isEmpty() || !output_) return problem_;
  return QString::fromStdString(output_->Problem());
}

void OnDemandPlayer::UpdateSession(const Session& ses) {
  if (output_) output_->UpdateSession(ses);
}

void OnDemandPlayer::SetVolume(double volume) {
  volume_ = std::clamp(volume, 0.0, 1.0);
  if (output_) output_->SetVolume(volume_);
}

double OnDemandPlayer::PositionSeconds() const {
  return output_ ? output_->PositionSeconds() : 0;
}

int32_t OnDemandPlayer::SegmentHeard() const {
  return output_ ? output_->SegmentHeard() : 0;
}

}  // namespace ovrel
