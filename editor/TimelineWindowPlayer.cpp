// The timeline window's player: its controls, and the playhead and grid
// cursor that follow the sound being heard.

#include <QItemSelectionModel>
#include <QShortcut>

#include "editor/TimelineWindow.h"
#include "session/SesTime.h"

namespace ovrel {

namespace {

// How often the playhead moves while the sound plays.
constexpr int kPlayheadMs = 50;
// How the chosen beat is remembered.
constexpr char kBinauralSetting[] = "binaural";
constexpr char kIsochronicSetting[] = "isochronic";

}  // namespace

void TimelineWindow::BuildPlayerControls(QHBoxLayout* row) {
  player_ = new OnDemandPlayer(this);
  playButton_ = new QPushButton(QStringLiteral("Play"), this);
  playButton_->setObjectName(QStringLiteral("playButton"));
  playButton_->setToolTip(
      QStringLiteral("Play the session's sound from the current segment (Space on the picture)"));
  stopButton_ = new QPushButton(QStringLiteral("Stop"), this);
  stopButton_->setObjectName(QStringLiteral("stopButton"));
  beatCombo_ = new QComboBox(this);
  beatCombo_->setObjectName(QStringLiteral("beatCombo"));
  beatCombo_->addItem(QStringLiteral("Binaural beat (headphones)"));
  beatCombo_->addItem(QStringLiteral("Isochronic pulse"));
  beatCombo_->setToolTip(
      QStringLiteral("How the stimulation frequency is heard, from the next Play on"));
  auto* volumeLabel = new QLabel(QStringLiteral("Volume:"), this);
  volumeSlider_ = new QSlider(Qt::Horizontal, this);
  volumeSlider_->setObjectName(QStringLiteral("volumeSlider"));
  volumeSlider_->setRange(0, 100);
  // As the user left them last time.
  volumeSlider_->setValue(userSettings_.PlayerVolume(static_cast<int>(player_->Volume() * 100)));
  player_->SetVolume(volumeSlider_->value() / 100.0);
  if (userSettings_.PlayerBeat() == QLatin1String(kIsochronicSetting)) {
    beatCombo_->setCurrentIndex(1);
    player_->SetBeat(sound::BeatKind::Isochronic);
  }
  volumeSlider_->setMaximumWidth(140);
  volumeSlider_->setAccessibleName(QStringLiteral("Volume"));
  volumeLabel->setBuddy(volumeSlider_);
  playerStatusText_ = new QLabel(this);
  playerStatusText_->setObjectName(QStringLiteral("playerStatusText"));
  playheadTimer_ = new QTimer(this);
  playheadTimer_->setInterval(kPlayheadMs);

  row->addWidget(playButton_);
  row->addWidget(stopButton_);
  row->addWidget(beatCombo_);
  row->addSpacing(12);
  row->addWidget(volumeLabel);
  row->addWidget(volumeSlider_);
  row->addSpacing(12);
  row->addWidget(playerStatusText_, 1);

  connect(playButton_, &QPushButton::clicked, this, &TimelineWindow::onPlayClicked);
  connect(stopButton_, &QPushButton::clicked, player_, &OnDemandPlayer::Stop);
  connect(beatCombo_, &QComboBox::currentIndexChanged, this, [this](int index) {
    const bool isochronic = index == 1;
    player_->SetBeat(isochronic ? sound::BeatKind::Isochronic : sound::BeatKind::Binaural);
    userSettings_.SetPlayerBeat(QLatin1String(isochronic ? kIsochronicSetting : kBinauralSetting));
  });
  connect(volumeSlider_, &QSlider::valueChanged, this, [this](int value) {
    player_->SetVolume(value / 100.0);
    userSettings_.SetPlayerVolume(value);
  });
  connect(player_, &OnDemandPlayer::StateChanged, this, &TimelineWindow::RefreshPlayer);
  connect(playheadTimer_, &QTimer::timeout, this, &TimelineWindow::FollowPlayer);
  auto* space = new QShortcut(QKeySequence(Qt::Key_Space), timelineView_, nullptr, nullptr,
                              Qt::WidgetShortcut);
  connect(space, &QShortcut::activated, this, &TimelineWindow::onPlayClicked);
  RefreshPlayer();
}

void TimelineWindow::onPlayClicked() {
  switch (player_->CurrentState()) {
    case OnDemandPlayer::State::Playing:
      player_->Pause();
      return;
    case OnDemandPlayer::State::Paused:
      player_->Resume();
      return;
    case OnDemandPlayer::State::Stopped:
      break;
  }
  const QModelIndex cur = grid_->currentIndex();
  const int segment = cur.isValid() ? cur.column() + 1 : 1;
  heardSegment_ = segment;
  player_->Play(ses_, segment);
}

void TimelineWindow::RefreshPlayer() {
  const OnDemandPlayer::State state = player_->CurrentState();
  playButton_->setText(state == OnDemandPlayer::State::Playing ? QStringLiteral("Pause")
                                                               : QStringLiteral("Play"));
  stopButton_->setEnabled(state != OnDemandPlayer::State::Stopped);
  if (state == OnDemandPlayer::State::Stopped) {
    playheadTimer_->stop();
    playerStatusText_->setText(player_->Problem());
    timelineView_->Plot().SetPlayhead(-1);
    timelineView_->update();
    return;
  }
  playheadTimer_->start();
  FollowPlayer();
}

void TimelineWindow::FollowPlayer() {
  const double at = player_->PositionSeconds();
  SessionPlot& plot = timelineView_->Plot();
  plot.SetPlayhead(at);
  // A zoomed picture turns the page when the playhead leaves it.
  if (plot.Zoomed() && (at < plot.ViewFrom() || at > plot.ViewTo())) timelineView_->PanTo(at);
  timelineView_->update();
  const int segment = player_->SegmentHeard();
  playerStatusText_->setText(QStringLiteral("%1 %2 of %3, segment %4")
                                 .arg(player_->CurrentState() == OnDemandPlayer::State::Paused
                                          ? QStringLiteral("Paused at")
                                          : QStringLiteral("Playing"))
                                 .arg(QString::fromStdString(TimeText(static_cast<int64_t>(at))))
                                 .arg(QString::fromStdString(TimeText(SesTotalSeconds(ses_))))
                                 .arg(segment));
  // The grid's cursor moves on when the sound does, keeping its row; in
  // between it is free for editing.
  if (segment == heardSegment_ || segment < 1 || segment > ses_.SegCount) return;
  heardSegment_ = segment;
  const QModelIndex cur = grid_->currentIndex();
  const QModelIndex target = grid_->model()->index(cur.isValid() ? cur.row() : 0, segment - 1);
  grid_->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
  grid_->scrollTo(target);
}

}  // namespace ovrel
