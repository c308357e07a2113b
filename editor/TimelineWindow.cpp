#include "editor/TimelineWindow.h"

#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ProductInfo.h"
#include "plot/PlotFile.h"
#include "session/SesTime.h"
#include "session/SessionSummary.h"

namespace ovrel {

TimelineWindow::TimelineWindow(const Session& ses, QTableView* grid, Dialogs& dialogs,
                               const FolderSettings& folders, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ses_(ses),
      grid_(grid),
      dialogs_(dialogs, this),
      folders_(folders) {
  setObjectName(QStringLiteral("timelineWindow"));
  setWindowTitle(QLatin1String(kProductTitle) + QStringLiteral(" - Session Timeline"));

  timelineView_ = new TimelineView(ses, this);
  timelineScrollBar_ = new QScrollBar(Qt::Horizontal, this);
  timelineScrollBar_->setObjectName(QStringLiteral("timelineScrollBar"));
  fitButton_ = new QPushButton(QStringLiteral("Fit Session"), this);
  fitButton_->setObjectName(QStringLiteral("fitButton"));
  fitButton_->setToolTip(QStringLiteral("Show the whole session (Home)"));
  savePictureButton_ = new QPushButton(QStringLiteral("Save Picture..."), this);
  savePictureButton_->setObjectName(QStringLiteral("savePictureButton"));
  totalsText_ = new QLabel(this);
  totalsText_->setObjectName(QStringLiteral("totalsText"));
  modeSharesText_ = new QLabel(this);
  modeSharesText_->setObjectName(QStringLiteral("modeSharesText"));
  modeSharesText_->setTextFormat(Qt::RichText);

  auto* top = new QHBoxLayout;
  top->addWidget(fitButton_);
  top->addWidget(savePictureButton_);
  top->addSpacing(12);
  top->addWidget(totalsText_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(modeSharesText_);
  layout->addWidget(timelineView_, 1);
  layout->addWidget(timelineScrollBar_);
  auto* playerRow = new QHBoxLayout;
  BuildPlayerControls(playerRow);
  layout->addLayout(playerRow);

  connect(fitButton_, &QPushButton::clicked, timelineView_, &TimelineView::FitAll);
  connect(savePictureButton_, &QPushButton::clicked, this, &TimelineWindow::onSavePictureClicked);
  connect(timelineView_, &TimelineView::SegmentClicked, this, &TimelineWindow::onSegmentClicked);
  connect(timelineView_, &TimelineView::ViewChanged, this, &TimelineWindow::SyncScrollBar);
  connect(timelineScrollBar_, &QScrollBar::valueChanged, this, [this](int seconds) {
    if (timelineView_->Plot().Zoomed() &&
        seconds != static_cast<int>(timelineView_->Plot().ViewFrom()))
      timelineView_->PanTo(seconds);
  });

  // Every change the editor shows in its grid reaches the picture too.
  QAbstractItemModel* model = grid_->model();
  const auto refresh = [this] { RefreshSession(); };
  connect(model, &QAbstractItemModel::dataChanged, this, refresh);
  connect(model, &QAbstractItemModel::columnsInserted, this, refresh);
  connect(model, &QAbstractItemModel::columnsRemoved, this, refresh);
  connect(model, &QAbstractItemModel::modelReset, this, refresh);
  connect(model, &QAbstractItemModel::layoutChanged, this, refresh);
  QItemSelectionModel* selection = grid_->selectionModel();
  connect(selection, &QItemSelectionModel::selectionChanged, this, [this] { RefreshSelection(); });
  connect(selection, &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            // A cursor moved in the grid is where the next Shift+click
            // extends from.
            if (!selecting_ && current.isValid()) anchor_ = current.column() + 1;
            RefreshSelection();
          });

  // Closing the editor hides its timeline too.
  if (parent) parent->installEventFilter(this);

  RefreshSession();
  RefreshSelection();
}

bool TimelineWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == parent() && e->type() == QEvent::Hide) hide();
  return QWidget::eventFilter(watched, e);
}

void TimelineWindow::RefreshSession() {
  const SessionSummary s = Summarize(ses_);
  totalsText_->setText(
      QStringLiteral(
          "Total time: %1    Segments: %2    Frequency: %3 to %4 Hz    Pitch: %5 to %6 Hz")
          .arg(QString::fromStdString(TimeText(s.TotalSeconds)))
          .arg(s.SegCount)
          .arg(s.FreqMin)
          .arg(s.FreqMax)
          .arg(s.PitchMin)
          .arg(s.PitchMax));

  // Each mode in use with its band colour and its share of the time.
  const PlotColors& colors = timelineView_->Plot().Colors();
  QStringList shares;
  auto add = [&](const QColor& colour, const QString& name, int64_t seconds) {
    if (seconds <= 0 || s.TotalSeconds <= 0) return;
    const double percent =
        100.0 * static_cast<double>(seconds) / static_cast<double>(s.TotalSeconds);
    shares << QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;%2&nbsp;%3&nbsp;%")
                  .arg(colour.name(), name, QString::number(percent, 'f', percent < 10 ? 1 : 0));
  };
  for (int m = 0; m < ModeCount; ++m)
    add(colors.ModeColor(m), QString::fromStdString(ModeText(m)),
        s.ModeSeconds[static_cast<size_t>(m)]);
  add(colors.OtherMode, QStringLiteral("other"), s.OtherModeSeconds);
  modeSharesText_->setText(QStringLiteral("Time in each mode: ") +
                           shares.join(QStringLiteral("&nbsp;&nbsp;&nbsp;")));

  // A session that became shorter than the zoomed span shows whole again.
  SessionPlot& plot = timelineView_->Plot();
  if (plot.ViewTo() > static_cast<double>(s.TotalSeconds)) plot.FitAll();
  timelineView_->update();
  SyncScrollBar();
  // An edit is heard from the next block of sound on.
  player_->UpdateSession(ses_);
}

void TimelineWindow::SyncScrollBar() {
  // In whole seconds: a session lasts at most some fifty hours.
  const SessionPlot& plot = timelineView_->Plot();
  const QSignalBlocker block(timelineScrollBar_);
  const int span = static_cast<int>(std::lround(plot.ViewTo() - plot.ViewFrom()));
  const int total = static_cast<int>(std::lround(plot.SessionSpan()));
  timelineScrollBar_->setRange(0, plot.Zoomed() ? std::max(total - span, 0) : 0);
  timelineScrollBar_->setPageStep(std::max(span, 1));
  timelineScrollBar_->setSingleStep(std::max(span / 10, 1));
  timelineScrollBar_->setValue(static_cast<int>(std::lround(plot.ViewFrom())));
  timelineScrollBar_->setEnabled(plot.Zoomed());
}

void TimelineWindow::showEvent(QShowEvent* e) {
  if (!placed_) {
    placed_ = true;
    // Where the user left it last time; the first time beside the editor.
    if (!userSettings_.RestoreGeometry(*this)) PlaceBesideEditor();
  }
  QWidget::showEvent(e);
}

void TimelineWindow::hideEvent(QHideEvent* e) {
  // Closed, its controls are gone: so is the sound.
  if (!e->spontaneous()) player_->Stop();
  if (!e->spontaneous()) userSettings_.SaveGeometry(*this);
  QWidget::hideEvent(e);
}

void TimelineWindow::PlaceBesideEditor() {
  const QWidget* editor = parentWidget();
  if (!editor) return;
  const QRect ed = editor->frameGeometry();
  const QScreen* screen = editor->screen();
  if (!screen) return;
  const QRect room = screen->availableGeometry();
  // The frame the window manager adds, as the editor has it.
  const QSize frame = editor->frameGeometry().size() - editor->geometry().size();
  QSize size = this->size().boundedTo(room.size() - frame);
  const int w = size.width() + frame.width(), h = size.height() + frame.height();
  // Right of the editor, else left of it, else below, else above; the
  // side with the most room when none has enough.
  QPoint at;
  if (ed.right() + 1 + w <= room.right() + 1)
    at = {ed.right() + 1, ed.top()};
  else if (ed.left() - w >= room.left())
    at = {ed.left() - w, ed.top()};
  else if (ed.bottom() + 1 + h <= room.bottom() + 1)
    at = {ed.left(), ed.bottom() + 1};
  else if (ed.top() - h >= room.top())
    at = {ed.left(), ed.top() - h};
  else {
    const int below = room.bottom() - ed.bottom(), above = ed.top() - room.top();
    if (below >= above) {
      size.setHeight(std::max(below - frame.height(), minimumSizeHint().height()));
      at = {ed.left(), ed.bottom() + 1};
    } else {
      size.setHeight(std::max(above - frame.height(), minimumSizeHint().height()));
      at = {ed.left(), ed.top() - size.height() - frame.height()};
    }
  }
  at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - w)));
  at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - h)));
  // at is where the frame goes; the window manager puts its frame around
  // the client area as it does around the editor's.
  setGeometry(QRect(at + (editor->geometry().topLeft() - ed.topLeft()), size));
}

void TimelineWindow::RefreshSelection() {
  const QModelIndex cur = grid_->currentIndex();
  if (!cur.isValid()) {
    timelineView_->Plot().SetSelection(0, 0);
  } else {
    int first = cur.column() + 1, last = first;
    for (const QItemSelectionRange& r : grid_->selectionModel()->selection()) {
      first = std::min(first, r.left() + 1);
      last = std::max(last, r.right() + 1);
    }
    timelineView_->Plot().SetSelection(first, std::min(last, static_cast<int>(ses_.SegCount)));
  }
  timelineView_->update();
}

void TimelineWindow::onSegmentClicked(int seg, bool extend) {
  QItemSelectionModel* selection = grid_->selectionModel();
  QAbstractItemModel* model = grid_->model();
  const QModelIndex cur = grid_->currentIndex();
  // The cursor keeps its parameter row, so the value keys go on stepping
  // the same parameter.
  const int row = cur.isValid() ? cur.row() : 0;
  const QModelIndex target = model->index(row, seg - 1);
  if (!target.isValid()) return;
  const QScopedValueRollback<bool> selecting(selecting_, true);
  if (!extend) {
    anchor_ = seg;
    selection->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
  } else {
    if (anchor_ < 1 || anchor_ > ses_.SegCount) anchor_ = cur.isValid() ? cur.column() + 1 : seg;
    const QItemSelection range(model->index(row, std::min(anchor_, seg) - 1),
                               model->index(row, std::max(anchor_, seg) - 1));
    selection->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    selection->select(range, QItemSelectionModel::ClearAndSelect);
  }
  grid_->scrollTo(target);
}

void TimelineWindow::onSavePictureClicked() {
  FileDialogRequest request;
  request.Title = QStringLiteral("Save timeline picture");
  request.Filter = QStringLiteral("PNG picture (*.png)|*.png|SVG picture (*.svg)|*.svg");
  request.DefaultExt = QStringLiteral("png");
  // The folder last used, or the sessions folder; named after the session.
  request.InitialDir = userSettings_.SaveFolder(folders_.SessionsFolder());
  const QString name = SessionName ? SessionName() : QString();
  request.FileName = (name.isEmpty() ? QStringLiteral("timeline") : name) + QStringLiteral(".png");
  const std::optional<QString> path = dialogs_.SaveFile(request);
  if (!path) return;
  // The picture as shown, in the light colours and without the selection,
  // as it goes into documents.
  SessionPlot plot = timelineView_->Plot();
  plot.SetColors(PlotColors::Light());
  plot.SetSelection(0, 0);
  plot.SetPlayhead(-1);
  if (const QString error = WritePlotFile(plot, *path); !error.isEmpty())
    dialogs_.ShowError(error);
  else
    userSettings_.SetLastFolderOf(*path);
}

}  // namespace ovrel
