#include "memory/MemoryWindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "device/jobs/DeviceService.h"
#include "fileio/AtomicFile.h"
#include "format/SessionFile.h"
#include "library/LibraryCompiler.h"
#include "library/LibraryFileRead.h"
#include "library/LibraryList.h"
#include "library/MemoryBudget.h"
#include "library/SessionScan.h"
#include "plot/SessionPlot.h"
#include "storage/BackupHistory.h"
#include "ui/ErrorDisplay.h"
#include "ui/ScreenPlacement.h"

namespace ovrel {

namespace {

const QString kLibraryFilter = QStringLiteral("Sorvani Pro session library(*.svl)|*.svl");
const QString kSessionFilter = QStringLiteral("Sorvani Pro session (*.svs)|*.svs");

enum Column { NumberColumn, LengthColumn, SegmentsColumn, ModesColumn, FreqColumn, FileColumn };

QString LengthText(const SessionRecord& s) {
  return QStringLiteral("%1:%2").arg(s.Minutes).arg(s.Seconds, 2, 10, QChar('0'));
}

// The session a record holds, as the editor would read it.
Session SessionOf(const SessionRecord& record) {
  Session ses;
  ses.SegCount = static_cast<int32_t>(std::min<std::size_t>(record.Segments.size(), MaxSegCount));
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const auto& b = record.Segments[static_cast<std::size_t>(k - 1)];
    ses[k] = UnpackSegment({b[0], b[1], b[2], b[3], b[4]});
  }
  return ses;
}

}  // namespace

MemoryWindow::MemoryWindow(FolderSettings& folders, Dialogs& dialogs, DeviceService& device,
                           std::function<void(const JobResult&)> showResult, QWidget* parent)
    : QWidget(parent, Qt::Window),
      folders_(folders),
      dialogs_(dialogs, this),
      device_(device),
      showResult_(std::move(showResult)) {
  setObjectName(QStringLiteral("memoryWindow"));
  setWindowTitle(kMemoryWindowTitle);
  matchFolder_ = folders_.SessionsFolder();
  CreateControls();
  ConnectControls();
  resize(760, 520);
  Refresh();
}

void MemoryWindow::CreateControls() {
  sourceText_ = QStringLiteral("Nothing read yet");
  sourceLabel_ = new QLabel(sourceText_, this);
  openLibraryButton_ = new QPushButton(QStringLiteral("Open Library..."), this);
  sessionsFolderButton_ = new QPushButton(QStringLiteral("Sessions Folder..."), this);
  sessionsFolderLabel_ = new QLabel(this);
  sessionTable_ = new QTableWidget(0, 6, this);
  sessionTable_->setHorizontalHeaderLabels(
      {QStringLiteral("No."), QStringLiteral("Length"), QStringLiteral("Segments"),
       QStringLiteral("Modes"), QStringLiteral("Frequency"), QStringLiteral("Session file")});
  sessionTable_->verticalHeader()->hide();
  sessionTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
  sessionTable_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  sessionTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A session file's name is shown whole on one line: its column always
  // fits the longest name (the table scrolls sideways when it must), also
  // after sessions are added or the list comes back from a failed write.
  sessionTable_->setWordWrap(false);
  sessionTable_->horizontalHeader()->setSectionResizeMode(FileColumn,
                                                          QHeaderView::ResizeToContents);
  removeButton_ = new QPushButton(QStringLiteral("Remove"), this);
  moveUpButton_ = new QPushButton(QStringLiteral("Move Up"), this);
  moveDownButton_ = new QPushButton(QStringLiteral("Move Down"), this);
  addButton_ = new QPushButton(QStringLiteral("Add Session..."), this);
  extractButton_ = new QPushButton(QStringLiteral("Extract..."), this);
  pictureLabel_ = new QLabel(this);
  pictureLabel_->setMinimumHeight(80);
  // The picture is drawn for the label's size, smaller with a smaller
  // window; it does not size the label.
  pictureLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  pictureLabel_->setAlignment(Qt::AlignCenter);
  memoryGauge_ = new QProgressBar(this);
  memoryGauge_->setRange(0, 100);
  memoryGauge_->setTextVisible(false);
  availableMemoryLabel_ = new QLabel(this);
  writeButton_ = new QPushButton(QStringLiteral("Write to Sorvani"), this);
  saveLibraryButton_ = new QPushButton(QStringLiteral("Save Library..."), this);
  statusLabel_ = new QLabel(this);

  const std::pair<QWidget*, const char*> named[] = {{sourceLabel_, "sourceLabel"},
                                                    {openLibraryButton_, "openLibraryButton"},
                                                    {sessionsFolderButton_, "sessionsFolderButton"},
                                                    {sessionsFolderLabel_, "sessionsFolderLabel"},
                                                    {sessionTable_, "sessionTable"},
                                                    {removeButton_, "removeButton"},
                                                    {moveUpButton_, "moveUpButton"},
                                                    {moveDownButton_, "moveDownButton"},
                                                    {addButton_, "addButton"},
                                                    {extractButton_, "extractButton"},
                                                    {pictureLabel_, "pictureLabel"},
                                                    {memoryGauge_, "memoryGauge"},
                                                    {availableMemoryLabel_, "availableMemoryLabel"},
                                                    {writeButton_, "writeButton"},
                                                    {saveLibraryButton_, "saveLibraryButton"},
                                                    {statusLabel_, "statusLabel"}};
  for (const auto& [control, name] : named) control->setObjectName(QLatin1String(name));
  setLayout(MakeLayout());
}

QLayout* MemoryWindow::MakeLayout() {
  auto* top = new QHBoxLayout;
  top->addWidget(sourceLabel_, 1);
  top->addWidget(openLibraryButton_);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(sessionsFolderLabel_, 1);
  folderRow->addWidget(sessionsFolderButton_);
  auto* edit = new QVBoxLayout;
  for (QPushButton* b : {removeButton_, moveUpButton_, moveDownButton_, addButton_, extractButton_})
    edit->addWidget(b);
  edit->addStretch(1);
  edit->addWidget(availableMemoryLabel_);
  edit->addWidget(memoryGauge_);
  auto* middle = new QHBoxLayout;
  middle->addWidget(sessionTable_, 1);
  middle->addLayout(edit);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(statusLabel_, 1);
  bottom->addWidget(saveLibraryButton_);
  bottom->addWidget(writeButton_);
  auto* all = new QVBoxLayout;
  all->addLayout(top);
  all->addLayout(folderRow);
  all->addLayout(middle, 2);
  all->addWidget(pictureLabel_, 1);
  all->addLayout(bottom);
  return all;
}

void MemoryWindow::ConnectControls() {
  auto on = [this](QPushButton* button, void (MemoryWindow::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { RunGuarded(dialogs_, [&] { (this->*handler)(); }); });
  };
  on(openLibraryButton_, &MemoryWindow::onOpenLibraryClicked);
  on(sessionsFolderButton_, &MemoryWindow::onSessionsFolderClicked);
  on(removeButton_, &MemoryWindow::onRemoveClicked);
  on(moveUpButton_, &MemoryWindow::onMoveUpClicked);
  on(moveDownButton_, &MemoryWindow::onMoveDownClicked);
  on(addButton_, &MemoryWindow::onAddClicked);
  on(extractButton_, &MemoryWindow::onExtractClicked);
  on(writeButton_, &MemoryWindow::onWriteClicked);
  on(saveLibraryButton_, &MemoryWindow::onSaveLibraryClicked);
  // The keys of a list: Delete removes, Ctrl+Up and Ctrl+Down move; each
  // only when its button could be clicked.
  const std::pair<QKeySequence, QPushButton*> keys[] = {
      {QKeySequence::Delete, removeButton_},
      {QKeySequence(Qt::CTRL | Qt::Key_Up), moveUpButton_},
      {QKeySequence(Qt::CTRL | Qt::Key_Down), moveDownButton_}};
  for (const auto& [key, button] : keys) {
    auto* shortcut = new QShortcut(key, sessionTable_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(shortcut, &QShortcut::activated, button, [button] {
      if (button->isEnabled()) button->click();
    });
  }
  connect(sessionTable_, &QTableWidget::itemSelectionChanged, this,
          &MemoryWindow::onSelectionChanged);
}

void MemoryWindow::ShowDeviceMemory(const MemoryImage& image) {
  if (!MayDiscardChanges()) return;
  ShowDeviceImage(image,
                  QStringLiteral("Sorvani memory, read at %1")
                      .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"))));
}

void MemoryWindow::DeviceChanged(const MemoryImage& image, const QString& what) {
  if (!fromDevice_) return;  // a library file, or nothing read yet
  const QString now = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
  if (changed_) {
    const MsgResult answer = dialogs_.Message(
        {kAppTitle,
         QStringLiteral("Since its memory was read here, %1 to Sorvani. Reload the memory? The "
                        "changes made here and not written would be lost.")
             .arg(what),
         MsgIcon::Question,
         MsgButtons::YesNo,
         {}});
    if (answer != MsgResult::Yes) {
      // A write now would find another memory than was read, and write nothing.
      ShowSource(
          QStringLiteral("Sorvani memory changed since it was read: %1 at %2").arg(what, now));
      return;
    }
    SetChanged(false);
  }
  ShowDeviceImage(image, QStringLiteral("Sorvani memory at %1, after %2").arg(now, what));
}

void MemoryWindow::ShowDeviceImage(const MemoryImage& image, const QString& source) {
  readImage_ = image;
  const LibrarySessions read = ReadLibrarySessions(image, LibImageLength::Memory);
  if (!read) {
    // The list read before is no longer what the device holds: it goes.
    SetSessions({}, true, source + QStringLiteral(": no valid session library"));
    dialogs_.ShowError(
        QStringLiteral("The session memory of Sorvani holds no valid session library: %1.")
            .arg(QString::fromStdString(read.Error())));
    return;
  }
  SetSessions(*read, true, source);
}

bool MemoryWindow::OpenLibrary(const QString& path) {
  if (!MayDiscardChanges()) return false;
  const LibraryFileRead read = ReadLibraryFile(path.toStdString());
  if (const Failure* why = WhyNotSound(read)) {
    const QString error = QString::fromStdString(why->Text);
    dialogs_.ShowError(
        why->Kind == Fault::TooLarge
            ? QStringLiteral("%1 is no session library: it is longer than 2048 bytes.").arg(path)
        : why->Kind == Fault::NotLibrary
            ? QStringLiteral("%1 holds no valid session library: %2.").arg(path, error)
            : error);
    return false;
  }
  SetSessions(*read->Sessions, false, path);
  return true;
}

void MemoryWindow::SetSessions(std::vector<SessionRecord> sessions, bool fromDevice,
                               const QString& source) {
  sessions_ = std::move(sessions);
  fromDevice_ = fromDevice;
  ShowSource(source);
  folderSessions_ = ScanSessionFolder(matchFolder_.toStdString());
  SetChanged(false);
  Refresh(sessions_.empty() ? std::vector<int>{} : std::vector<int>{0});
  // Sized to a new list once; edits keep the widths the user gave them.
  sessionTable_->resizeColumnsToContents();
}

void MemoryWindow::Refresh(const std::vector<int>& select) {
  sessionsFolderLabel_->setText(QStringLiteral("Session files from: %1").arg(matchFolder_));
  const QSignalBlocker quiet(sessionTable_);
  sessionTable_->clearSelection();
  sessionTable_->setRowCount(static_cast<int>(sessions_.size()));
  std::int64_t segments = 0;
  for (std::size_t k = 0; k < sessions_.size(); ++k) {
    const SessionRecord& s = sessions_[k];
    const RecordFacts facts = FactsOf(s);
    segments += static_cast<std::int64_t>(s.Segments.size());
    QStringList modes;
    for (const int m : facts.Modes) modes << QString::fromStdString(ModeText(m));
    const FolderSession* match = MatchSessionFile(s, folderSessions_);
    const QString texts[] = {
        QString::number(k + 1),
        LengthText(s),
        QString::number(s.Segments.size()),
        modes.join(QStringLiteral(", ")),
        s.Segments.empty() ? QString()
                           : QStringLiteral("%1-%2 Hz").arg(facts.FreqLow).arg(facts.FreqHigh),
        match ? QFileInfo(QString::fromStdString(match->Path)).fileName() : QStringLiteral("-")};
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(texts[c]);
      if (c == FileColumn && match) item->setToolTip(QString::fromStdString(match->Path));
      sessionTable_->setItem(static_cast<int>(k), c, item);
    }
  }
  for (const int row : select) {
    sessionTable_->selectionModel()->select(
        sessionTable_->model()->index(row, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  if (!select.empty()) {
    sessionTable_->selectionModel()->setCurrentIndex(
        sessionTable_->model()->index(select.back(), 0), QItemSelectionModel::NoUpdate);
  }
  const std::int64_t free = SesMemFreeBytes(static_cast<std::int64_t>(sessions_.size()), segments);
  const int percent = SesMemPercent(std::clamp<std::int64_t>(free, 0, SesMemSize));
  memoryGauge_->setValue(percent);
  availableMemoryLabel_->setText(QString::fromStdString(AvailMemText(percent)));
  ShowPicture();
  UpdateButtons();
}

std::vector<int> MemoryWindow::SelectedRows() const {
  std::set<int> rows;
  for (const QModelIndex& index : sessionTable_->selectionModel()->selectedRows())
    rows.insert(index.row());
  return {rows.begin(), rows.end()};
}

void MemoryWindow::onSelectionChanged() {
  ShowPicture();
  UpdateButtons();
}

void MemoryWindow::ShowPicture() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty() || sessions_[static_cast<std::size_t>(rows.front())].Segments.empty()) {
    pictureLabel_->setPixmap({});
    pictureLabel_->setText(rows.empty() ? QStringLiteral("Select a session to see its picture")
                                        : QString());
    return;
  }
  const Session ses = SessionOf(sessions_[static_cast<std::size_t>(rows.front())]);
  SessionPlot plot(ses);
  // As large as the label: never cut off by a smaller window.
  const QSize size = pictureLabel_->contentsRect().size();
  if (size.width() < 40 || size.height() < 20) {
    pictureLabel_->setPixmap({});
    return;
  }
  plot.SetSize(size);
  const qreal ratio = devicePixelRatioF();
  QPixmap picture(size * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  plot.Paint(painter);
  painter.end();
  pictureLabel_->setPixmap(picture);
}

void MemoryWindow::UpdateButtons() {
  const std::vector<int> rows = SelectedRows();
  const int count = static_cast<int>(sessions_.size());
  const bool one = rows.size() == 1;
  removeButton_->setEnabled(!writing_ && !rows.empty());
  moveUpButton_->setEnabled(!writing_ && one && rows.front() > 0);
  moveDownButton_->setEnabled(!writing_ && one && rows.front() + 1 < count);
  extractButton_->setEnabled(!rows.empty());
  addButton_->setEnabled(!writing_);
  writeButton_->setEnabled(!writing_ && fromDevice_ && changed_);
  saveLibraryButton_->setEnabled(!writing_);
  openLibraryButton_->setEnabled(!writing_);
}

void MemoryWindow::ShowSource(const QString& source) {
  sourceText_ = source;
  if (!changed_) {
    sourceLabel_->setText(source);
    return;
  }
  sourceLabel_->setText(source + (fromDevice_ ? QStringLiteral(" (the list below is changed and "
                                                               "not yet written to Sorvani)")
                                              : QStringLiteral(" (the list below is changed and "
                                                               "not yet saved)")));
}

void MemoryWindow::SetChanged(bool changed) {
  changed_ = changed;
  if (changed) endAgreed_ = false;
  ShowSource(sourceText_);
  statusLabel_->setText(changed
                            ? (fromDevice_ ? QStringLiteral("Changed: not yet written to Sorvani")
                                           : QStringLiteral("Changed: not yet saved"))
                            : QString());
  UpdateButtons();
}

void MemoryWindow::onRemoveClicked() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty() || !RemoveSessions(sessions_, rows)) return;
  SetChanged(true);
  const int next = std::min(rows.front(), static_cast<int>(sessions_.size()) - 1);
  Refresh(next >= 0 ? std::vector<int>{next} : std::vector<int>{});
}

void MemoryWindow::Move(int by) {
  const std::vector<int> rows = SelectedRows();
  if (rows.size() != 1 || !MoveSession(sessions_, rows.front(), by)) return;
  SetChanged(true);
  Refresh({rows.front() + by});
}

void MemoryWindow::onMoveUpClicked() {
  Move(-1);
}
void MemoryWindow::onMoveDownClicked() {
  Move(1);
}

void MemoryWindow::onAddClicked() {
  const std::optional<QString> path =
      dialogs_.OpenFile({{}, kSessionFilter, QStringLiteral("svs"), matchFolder_, {}});
  if (!path) return;
  if (sessions_.size() + 1 > MaxLibSessions) {
    dialogs_.ShowError(QString::fromLatin1(LibraryList::kLibraryFullText));
    return;
  }
  const SessionScanRead read = ScanSessionFile(path->toStdString());
  if (!read) {
    dialogs_.ShowError(QString::fromStdString(read.Error()));
    return;
  }
  std::vector<SessionRecord> more = sessions_;
  more.push_back(read->Record());
  if (!BuildLibraryImage(more)) {
    dialogs_.ShowError(QString::fromLatin1(LibraryList::kOutOfMemoryText));
    return;
  }
  sessions_ = std::move(more);
  SetChanged(true);
  Refresh({static_cast<int>(sessions_.size()) - 1});
  if (const std::string warning = read->DeviceLengthWarning(); !warning.empty())
    dialogs_.Message(
        {kAppTitle, QString::fromStdString(warning), MsgIcon::Warning, MsgButtons::Ok, {}});
}

void MemoryWindow::onExtractClicked() {
  const std::vector<int> rows = SelectedRows();
  for (const int row : rows) {
    const QString name = QStringLiteral("session-%1.svs").arg(row + 1);
    const std::optional<QString> path =
        dialogs_.SaveFile({{}, kSessionFilter, QStringLiteral("svs"), matchFolder_, name});
    if (!path) break;
    const std::string text = SessionRecordFileText(sessions_[static_cast<std::size_t>(row)]);
    if (const FileWriteResult written = WriteFileAtomically(path->toStdString(), text); !written) {
      dialogs_.ShowError(QString::fromStdString(written.Error()));
      break;
    }
    statusLabel_->setText(QStringLiteral("Session %1 written to %2").arg(row + 1).arg(*path));
  }
  // A file written (or replaced) in the sessions folder changes the matches.
  RescanSessionFolder(rows);
}

void MemoryWindow::onOpenLibraryClicked() {
  const std::optional<QString> path = dialogs_.OpenFile(
      {{}, kLibraryFilter, QStringLiteral("svl"), folders_.LibrariesFolder(), {}});
  if (path) OpenLibrary(*path);
}

void MemoryWindow::onSessionsFolderClicked() {
  const std::optional<QString> folder =
      dialogs_.BrowseFolder({QStringLiteral("Where are the session files?"), matchFolder_});
  if (!folder) return;
  matchFolder_ = *folder;
  RescanSessionFolder(SelectedRows());
}

void MemoryWindow::RescanSessionFolder(const std::vector<int>& select) {
  folderSessions_ = ScanSessionFolder(matchFolder_.toStdString());
  Refresh(select);
}

void MemoryWindow::onSaveLibraryClicked() {
  const std::optional<std::vector<std::uint8_t>> image = BuildLibraryImage(sessions_);
  if (!image) return;
  const std::optional<QString> path = dialogs_.SaveFile(
      {{}, kLibraryFilter, QStringLiteral("svl"), folders_.LibrariesFolder(), {}});
  if (!path) return;
  if (const auto error = WriteLibraryFile(path->toStdString(), *image)) {
    dialogs_.ShowError(QString::fromStdString(*error));
    return;
  }
  if (!fromDevice_) {
    ShowSource(*path);
    SetChanged(false);
  }
  statusLabel_->setText(QStringLiteral("Library written to %1").arg(*path));
}

void MemoryWindow::onWriteClicked() {
  if (!fromDevice_ || writing_) return;
  const std::optional<std::vector<std::uint8_t>> image = BuildLibraryImage(sessions_);
  if (!image) return;
  writing_ = true;
  beforeWrite_ = readImage_;
  UpdateButtons();
  statusLabel_->setText(StageText(JobKind::Edit, JobStage::Write));
  // Written only over the memory this window read: what the device holds
  // is read (and kept) first, and anything else there is left alone. After
  // a failed write what it holds is not known: it is replaced, kept first.
  WriteOptions options;
  options.Verify = true;
  options.Expect = readImage_;
  DeviceJob* job = device_.Write(
      MemoryImageOf(*image), std::move(options),
      [this](const JobResult& result) { RunGuarded(dialogs_, [&] { Written(result); }); },
      BackupReason::BeforeEdit);
  connect(job, &DeviceJob::StageEnded, this, [this](JobStage stage) {
    if (stage == JobStage::Write) statusLabel_->setText(StageText(JobKind::Edit, JobStage::Verify));
  });
}

void MemoryWindow::Written(const JobResult& result) {
  writing_ = false;
  UpdateButtons();
  if (result.Failed == JobFailure::Changed) {
    ChangedSinceRead(result);
    return;
  }
  if (!result.Ok() && (result.Stage == JobStage::Write || result.Stage == JobStage::Verify)) {
    // What failed and what the device holds now are the job's to say.
    statusLabel_->setText(result.Status());
    if (result.Failed == JobFailure::Verify) emit DeviceReached();
    ShowWriteFailed(result.Failure(), result.MemoryText(), result);
    return;
  }
  if (!result.Ok()) {
    // The read before the write failed, or what it read could not be kept:
    // nothing was written.
    statusLabel_->setText(result.Status());
    if (showResult_) showResult_(result);
    return;
  }
  readImage_ = result.MemImg;
  emit DeviceReached();
  SetChanged(false);
  ShowSource(QStringLiteral("Sorvani memory, written at %1")
                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"))));
  statusLabel_->setText(
      QStringLiteral("Written to Sorvani and verified: %1 sessions").arg(sessions_.size()));
}

void MemoryWindow::ChangedSinceRead(const JobResult& result) {
  statusLabel_->setText(QStringLiteral("Not written: the session memory of Sorvani has %1")
                            .arg(jobtext::kChangedSinceRead));
  emit DeviceReached();
  const MsgResult answer = dialogs_.Message(
      {kAppTitle,
       result.Message.Text() +
           QStringLiteral(" Show the sessions it holds now? The changes made here will be lost."),
       MsgIcon::Warning,
       MsgButtons::YesNo,
       {}});
  if (answer != MsgResult::Yes || !result.MemImg) return;
  SetChanged(false);
  ShowDeviceMemory(*result.MemImg);
}

void MemoryWindow::ShowWriteFailed(const QString& what, const QString& deviceHolds,
                                   const JobResult& result) {
  const QString& backup = result.BackupPath;
  readImage_.reset();  // not known any more
  ShowSource(QStringLiteral("Sorvani memory: writing failed at %1")
                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"))));
  QString text = QStringLiteral("Writing to Sorvani failed: %1\n\n%2").arg(what, deviceHolds);
  const bool restorable = !backup.isEmpty();
  text += restorable ? QStringLiteral(
                           "\n\nThe memory as it was before the write is kept in %1. Restore "
                           "it to Sorvani now?")
                           .arg(QFileInfo(backup).fileName())
                     : QStringLiteral("\n\nThe memory as it was before the write was not kept.");
  const MsgResult answer = dialogs_.Message(
      {kAppTitle, text, MsgIcon::Error, restorable ? MsgButtons::YesNo : MsgButtons::Ok,
       restorable ? QDir::toNativeSeparators(backup) : QString()});
  if (restorable && answer == MsgResult::Yes) RestoreBackup(backup, result);
}

namespace {

// What a memory holds, in a few words: "3 sessions (2:00, 7:30, 0:15)".
QString HoldsText(const MemoryImage& memory) {
  const LibrarySessions read = ReadLibrarySessions(memory, LibImageLength::Memory);
  if (!read) return QStringLiteral("no valid session library");
  QStringList lengths;
  for (const SessionRecord& s : *read) lengths << LengthText(s);
  return QStringLiteral("%1 sessions (%2)")
      .arg(read->size())
      .arg(lengths.isEmpty() ? QStringLiteral("none") : lengths.join(QStringLiteral(", ")));
}

}  // namespace

bool MemoryWindow::LeftByFailedWrite(const MemoryImage& memory, const JobResult& failed) const {
  // A read back after the write (a failed verification) is exactly what it left.
  if (failed.Stage == JobStage::Verify && failed.MemImg) return memory == *failed.MemImg;
  std::vector<MemoryImage> before;
  if (beforeWrite_) before.push_back(*beforeWrite_);
  // The backup holds the library the write replaced; the rest of its
  // memory is taken as the upload leaves it.
  if (const LibraryFileRead kept =
          ReadLibraryFile(QFile::encodeName(failed.BackupPath).toStdString());
      !WhyNotSound(kept))
    before.push_back(kept->Image());
  for (std::size_t i = 0; i < memory.size(); ++i) {
    const bool asWritten = failed.Written && (*failed.Written)[i] == memory[i];
    const bool asBefore =
        std::ranges::any_of(before, [&](const MemoryImage& b) { return b[i] == memory[i]; });
    if (!asWritten && !asBefore) return false;
  }
  return true;
}

void MemoryWindow::RestoreBackup(const QString& backup, const JobResult& failed) {
  writing_ = true;
  UpdateButtons();
  statusLabel_->setText(QStringLiteral("Reading the Sorvani session memory before restoring it"));
  // The read is no backup: the restore keeps what it replaces itself.
  device_.Read(
      [this, backup, failed](const JobResult& read) {
        RunGuarded(dialogs_, [&] {
          if (!read.Ok()) {
            writing_ = false;
            UpdateButtons();
            statusLabel_->setText(QStringLiteral("Restoring the memory failed"));
            if (showResult_) showResult_(read);
            return;
          }
          if (!LeftByFailedWrite(*read.MemImg, failed) &&
              dialogs_.Message(
                  {kAppTitle,
                   QStringLiteral("Sorvani no longer holds what the failed write left: "
                                  "another program may have written to it since. It "
                                  "holds %1 now.\n\nRestore the memory as it was "
                                  "before the failed write (kept in %2) over it?")
                       .arg(HoldsText(*read.MemImg), QFileInfo(backup).fileName()),
                   MsgIcon::Warning, MsgButtons::YesNo, QDir::toNativeSeparators(backup)}) !=
                  MsgResult::Yes) {
            KeepWhatAnotherWrote(*read.MemImg);
            return;
          }
          RestoreOver(backup, *read.MemImg);
        });
      },
      std::nullopt);
}

void MemoryWindow::KeepWhatAnotherWrote(const MemoryImage& holds) {
  writing_ = false;
  // A write from here replaces only this memory, which the user was shown.
  readImage_ = holds;
  ShowSource(QStringLiteral("Sorvani memory, read at %1: it holds %2, not restored")
                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")),
                      HoldsText(holds)));
  CompareWithDevice();
}

void MemoryWindow::RestoreOver(const QString& backup, const MemoryImage& holds) {
  const QString name = QFileInfo(backup).fileName();
  statusLabel_->setText(QStringLiteral("Restoring the memory from %1").arg(name));
  WriteOptions options;
  options.Verify = true;
  // Only over the memory just read: what another program writes meanwhile stays.
  options.Expect = holds;
  // What the failed write left is kept as a plain read: a later restore
  // brings back the memory before the write, not this.
  device_.Restore(backup, std::move(options), [this, name](const JobResult& result) {
    RunGuarded(dialogs_, [&] { Restored(result, name); });
  });
}

void MemoryWindow::Restored(const JobResult& result, const QString& name) {
  writing_ = false;
  UpdateButtons();
  if (result.Failed == JobFailure::Changed) {
    ChangedSinceRead(result);
    return;
  }
  if (!result.Ok()) {
    statusLabel_->setText(result.Status());
    if (showResult_) showResult_(result);
    return;
  }
  // The device holds the memory as it was read again; the changes made
  // here are still there to be written over it.
  readImage_ = result.MemImg;
  emit DeviceReached();
  ShowSource(QStringLiteral("Sorvani memory, restored from %1 at %2")
                 .arg(name, QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"))));
  CompareWithDevice();
  statusLabel_->setText(QStringLiteral("Restored: Sorvani holds the memory it held before"));
}

void MemoryWindow::CompareWithDevice() {
  if (!readImage_) return;
  const std::optional<std::vector<std::uint8_t>> built = BuildLibraryImage(sessions_);
  const LibrarySessions held = ReadLibrarySessions(*readImage_, LibImageLength::Memory);
  const bool same = built && held && std::ranges::equal(*built, UsedImageBytes(*readImage_));
  SetChanged(!same);
}

bool MemoryWindow::MayDiscardChanges() {
  if (!changed_) return true;
  if (!AskToDiscard()) return false;
  SetChanged(false);
  return true;
}

bool MemoryWindow::MayEndProgram() {
  if (!changed_ || endAgreed_) return true;
  endAgreed_ = AskToDiscard();
  return endAgreed_;
}

bool MemoryWindow::AskToDiscard() {
  const MsgResult answer = dialogs_.Message(
      {kAppTitle,
       fromDevice_ ? QStringLiteral("The sessions were changed but not written to Sorvani. Discard "
                                    "the changes?")
                   : QStringLiteral("The library was changed but not saved. Discard the changes?"),
       MsgIcon::Question,
       MsgButtons::YesNo,
       {}});
  return answer == MsgResult::Yes;
}

void MemoryWindow::showEvent(QShowEvent* event) {
  if (!placed_) {
    placed_ = true;
    // Beside the main window, and no larger than the screen.
    if (parentWidget())
      PlaceBeside(*this, *parentWidget()->window());
    else
      KeepOnScreen(*this);
  }
  QWidget::showEvent(event);
}

void MemoryWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ShowPicture();  // drawn for the picture's new size
}

void MemoryWindow::closeEvent(QCloseEvent* event) {
  if (writing_ || !MayDiscardChanges()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace ovrel
