#include "editor/SessionEditorWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QShowEvent>

#include "ProductInfo.h"
#include "editor/SegmentGridView.h"
#include "editor/TypedValueDelegate.h"
#include "session/SesTime.h"
#include "ui/ErrorDisplay.h"

namespace ovrel {

namespace {

constexpr int kClientWidth = 649;
constexpr int kClientHeight = 184;
constexpr int kColWidth = 60;
constexpr int kCaptionColWidth = 80;
constexpr int kRowHeight = 18;
constexpr int kGridHeight = 137;
constexpr int kTimeWidth = 249;
constexpr int kTimeHeight = 24;

// The longest texts the two time fields can show (380 segments of 31 units,
// the most a file can hold).
const QString kLongestStartText = QStringLiteral("Segment 380 start time: 2937:15.0");
const QString kLongestTotalText = QStringLiteral("Session total time: 2945:00.0");

// The largest font, up to 14 pixels, in which the text fits the label.
void FitFont(QLabel* label, const QString& longest) {
  QFont f = label->font();
  const int room = label->width() - 2 * label->frameWidth() - 2 * label->margin() - 4;
  for (int px = 14; px >= 8; --px) {
    f.setPixelSize(px);
    if (QFontMetrics(f).horizontalAdvance(longest) <= room) break;
  }
  label->setFont(f);
}

}  // namespace

const QUrl SessionEditorWindow::kHomePage(QStringLiteral("https://sorvani.example/"));
const QUrl SessionEditorWindow::kDownloadsPage(
    QStringLiteral("https://sorvani.example/downloads/login"));
const QUrl SessionEditorWindow::kExtraLibrariesPage(
    QStringLiteral("https://sorvani.example/extra-session-libraries"));

SessionEditorWindow::SessionEditorWindow(const FolderSettings& folders, Dialogs& dialogs,
                                         std::function<void()> showAbout, QWidget* parent)
    : QMainWindow(parent),
      ExitApplication([] { QCoreApplication::quit(); }),
      OpenUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      folders_(folders),
      dialogs_(dialogs, this),
      showAbout_(std::move(showAbout)),
      document_(new SessionDocument(this)),
      heldKeys_(new HeldKeys(this)) {
  setObjectName(QStringLiteral("sessionEditorWindow"));
  // The desktop's sans-serif font at 11 pixels (8 points at 96 dpi); the
  // layout is in pixels, so the font is too.
  QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(11);
  setFont(f);
  document_->CursorColumn = [this] { return CurCol(); };
  // The caption ends in Qt's placeholder for the modified marker.
  const auto showCaption = [this](const QString& caption) {
    setWindowTitle(caption + QStringLiteral("[*]"));
  };
  connect(document_, &SessionDocument::CaptionChanged, this, showCaption);
  connect(document_, &SessionDocument::Changed, this, &SessionEditorWindow::ShowModified);
  connect(document_, &SessionDocument::Changed, this, &SessionEditorWindow::SessionChanged);
  // A session changed since the user agreed to lose it is asked about again.
  connect(document_, &SessionDocument::Changed, this, [this] { discardAgreed_ = false; });
  connect(document_, &SessionDocument::Restored, this, &SessionEditorWindow::RefreshAll);
  showCaption(document_->Caption());
  BuildControls();
  BuildMenus();

  // Keypad plus and minus step on the real release of the key.
  connect(heldKeys_, &HeldKeys::HoldStarted, this, [this] { ++holdNo_; });
  connect(heldKeys_, &HeldKeys::RealRelease, this, &SessionEditorWindow::onValueKeyReleased);

  // The window sees every key before its controls (for the keypad keys).
  installEventFilter(this);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

  // The client area is 649 x 184 below the menu at first and at least; the
  // window grows in width only, where the grid shows more segments (the
  // five parameter rows need no more height).
  adjustSize();
  setMinimumSize(sizeHint());
  setMaximumHeight(sizeHint().height());
  resize(sizeHint());
  userSettings_.RestoreGeometry(*this);
}

void SessionEditorWindow::BuildControls() {
  auto* client = new QWidget(this);
  client_ = client;
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setMinimumSize(kClientWidth, kClientHeight);
  client->resize(kClientWidth, kClientHeight);
  setCentralWidget(client);
  BuildGrid();
  BuildTimeFields();
  BuildValueButtons();
  SetUpFileDialogs();
}

void SessionEditorWindow::BuildGrid() {
  model_ = new SessionGridModel(St().Ses, this);
  segmentGrid_ = new SegmentGridView(client_);
  segmentGrid_->setObjectName(QStringLiteral("segmentGrid"));
  segmentGrid_->setAccessibleName(QStringLiteral("Session segments"));
  segmentGrid_->setGeometry(0, 0, kClientWidth, kGridHeight);
  segmentGrid_->setModel(model_);
  segmentGrid_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  segmentGrid_->setSelectionBehavior(QAbstractItemView::SelectItems);
  segmentGrid_->setTabKeyNavigation(false);
  segmentGrid_->setShowGrid(true);
  segmentGrid_->setWordWrap(false);
  segmentGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  segmentGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  QHeaderView* top = segmentGrid_->horizontalHeader();
  top->setMinimumSectionSize(1);
  top->setDefaultSectionSize(kColWidth);
  top->setSectionResizeMode(QHeaderView::Fixed);
  top->setFixedHeight(kRowHeight);
  top->setHighlightSections(false);
  QHeaderView* left = segmentGrid_->verticalHeader();
  left->setMinimumSectionSize(1);
  left->setDefaultSectionSize(kRowHeight);
  left->setSectionResizeMode(QHeaderView::Fixed);
  left->setFixedWidth(kCaptionColWidth);
  left->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  left->setHighlightSections(false);

  // Row 0 of column 0: the caption of the numbers row, in the grid's corner.
  segmentGrid_->setCornerButtonEnabled(false);
  auto* corner = new QLabel(QString::fromLatin1(RowCaption(RowSegNo)), segmentGrid_);
  corner->setObjectName(QStringLiteral("SegNoCaption"));
  corner->setGeometry(segmentGrid_->frameWidth(), segmentGrid_->frameWidth(), kCaptionColWidth,
                      kRowHeight);
  corner->setIndent(3);
  corner->setAutoFillBackground(true);

  connect(segmentGrid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            cellMessage_->hide();
            if (current.isValid()) onGridCellSelected(current.column() + 1);
          });
  connect(segmentGrid_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &SessionEditorWindow::SelectionChanged);
  BuildCellTyping();

  // The cursor starts on segment 1 without computing the times: the fields
  // keep their initial texts until the window is shown.
  const QSignalBlocker block(segmentGrid_->selectionModel());
  segmentGrid_->selectionModel()->setCurrentIndex(model_->index(0, 0),
                                                  QItemSelectionModel::ClearAndSelect);
}

void SessionEditorWindow::BuildCellTyping() {
  // A value typed into a cell (or F2, or a double click) is one undo step;
  // the step keys Q and A stay shortcuts, as no value starts with them.
  segmentGrid_->setEditTriggers(QAbstractItemView::DoubleClicked |
                                QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed);
  auto* typing = new TypedValueDelegate(segmentGrid_);
  segmentGrid_->setItemDelegate(typing);
  typing->Typed = [this](int col, int row, int32_t value) { SetTypedValue(col, row, value); };
  typing->Refused = [this](const QModelIndex& index, const QString& why, bool leaving) {
    if (!leaving) {
      ShowCellMessage(index, why);
      return;
    }
    // After the cursor has moved on, which hides an older message.
    QMetaObject::invokeMethod(
        this, [this, cell = QPersistentModelIndex(index), why] { ShowCellMessage(cell, why); },
        Qt::QueuedConnection);
  };
  // The key that opened the cell is released in the cell's editor, where
  // the window does not follow keys: it is no longer held for stepping.
  typing->Opened = [this] { heldKeys_->Forget(); };
  cellMessage_ = new QLabel(this);
  cellMessage_->setObjectName(QStringLiteral("cellMessage"));
  cellMessage_->setFrameStyle(QFrame::Box | QFrame::Plain);
  cellMessage_->setWordWrap(true);
  cellMessage_->setMargin(2);
  cellMessage_->setAutoFillBackground(true);
  cellMessage_->setBackgroundRole(QPalette::ToolTipBase);
  cellMessage_->setForegroundRole(QPalette::ToolTipText);
  cellMessage_->hide();
}

void SessionEditorWindow::BuildTimeFields() {
  auto makeTime = [this](const char* name, int top, const QString& text) {
    auto* label = new QLabel(text, client_);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(kClientWidth - kTimeWidth, top, kTimeWidth, kTimeHeight);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Light));
    label->setPalette(pal);
    return label;
  };
  segmentStartText_ =
      makeTime("segmentStartText", 136, QStringLiteral("Segment 1 start time: 0:00.0"));
  sessionTotalText_ =
      makeTime("sessionTotalText", 160, QStringLiteral("Session total time: 0:00.0"));
  FitFont(segmentStartText_, kLongestStartText);
  sessionTotalText_->setFont(segmentStartText_->font());
  FitFont(sessionTotalText_, kLongestTotalText);
  if (sessionTotalText_->font().pixelSize() < segmentStartText_->font().pixelSize())
    segmentStartText_->setFont(sessionTotalText_->font());
}

void SessionEditorWindow::BuildValueButtons() {
  valueUpButton_ = new RepeatButton(QStringLiteral("Value +  Q"), client_);
  valueUpButton_->setObjectName(QStringLiteral("valueUpButton"));
  valueUpButton_->setGeometry(112, 148, 75, 25);
  connect(valueUpButton_, &QPushButton::clicked, this, [this] { ValueStep(&ovrel::IncVal); });
  valueDownButton_ = new RepeatButton(QStringLiteral("Value -  A"), client_);
  valueDownButton_->setObjectName(QStringLiteral("valueDownButton"));
  valueDownButton_->setGeometry(216, 148, 75, 25);
  connect(valueDownButton_, &QPushButton::clicked, this, [this] { ValueStep(&ovrel::DecVal); });
  // Each press of a repeat button is one undo step, however long it is held.
  for (RepeatButton* button : {valueUpButton_, valueDownButton_}) {
    connect(button, &QPushButton::pressed, this, [this] { ++holdNo_; });
    // The buttons do not take the focus from the grid, so the keys keep
    // working on the grid's selection.
    button->setFocusPolicy(Qt::NoFocus);
  }
}

void SessionEditorWindow::SetUpFileDialogs() {
  // Each dialog offers the formats of its command, and adds the first
  // one's extension to a name without one.
  const auto setFormats = [](FileDialogRequest& dialog,
                             const std::vector<const FileFormat*>& formats) {
    dialog.Filter = QString::fromStdString(DialogFilter(formats));
    dialog.DefaultExt = QString::fromStdString(std::string(formats.front()->Extension.substr(1)));
  };
  importDialog_.Title = QStringLiteral("Import RVX file");
  setFormats(importDialog_, ReadableFormats({FormatRole::Legacy}));
  importDialog_.InitialDir = folders_.ProgramFolder();
  exportDialog_.Title = QStringLiteral("Export session as");
  setFormats(exportDialog_, WritableFormats({FormatRole::Table}));
  scheduleImportDialog_.Title = QStringLiteral("Import schedule");
  scheduleImportDialog_.Filter = kScheduleFilter;
  scheduleImportDialog_.InitialDir = folders_.SessionsFolder();
  scheduleExportDialog_.Title = QStringLiteral("Export session as schedule");
  setFormats(scheduleExportDialog_, WritableFormats({FormatRole::Schedule}));
}

void SessionEditorWindow::SetTypedValue(int col, int row, int32_t value) {
  cellMessage_->hide();
  Record([&] {
    SegField(St().Ses[col], row) = value;
    SegOpEffect shown;
    shown.Modifies = true;
    shown.RefreshFrom = shown.RefreshTo = col;
    if (row == RowTime) shown.TimesColumn = col;
    Apply(shown);
  });
}

void SessionEditorWindow::ShowCellMessage(const QModelIndex& index, const QString& why) {
  // Beside the cell, on the side where it fits.
  const QRect cell(segmentGrid_->viewport()->mapTo(this, segmentGrid_->visualRect(index).topLeft()),
                   segmentGrid_->visualRect(index).size());
  cellMessage_->setText(why);
  cellMessage_->setFixedWidth(std::min(260, width() - 4));
  cellMessage_->adjustSize();
  int x = cell.right() + 3;
  if (x + cellMessage_->width() > width()) x = std::max(0, cell.left() - 3 - cellMessage_->width());
  const int y = std::clamp(cell.top(), 0, std::max(0, height() - cellMessage_->height()));
  cellMessage_->move(x, y);
  cellMessage_->show();
  cellMessage_->raise();
}

void SessionEditorWindow::LayOutClient() {
  // At the smallest size this gives the places BuildControls sets.
  const int w = client_->width(), h = client_->height();
  segmentGrid_->setGeometry(0, 0, w, kGridHeight + h - kClientHeight);
  segmentStartText_->move(w - kTimeWidth, h - 2 * kTimeHeight);
  sessionTotalText_->move(w - kTimeWidth, h - kTimeHeight);
  valueUpButton_->move(valueUpButton_->x(), h - 36);
  valueDownButton_->move(valueDownButton_->x(), h - 36);
}

void SessionEditorWindow::ShowModified() {
  setWindowModified(document_->Modified());
}

void SessionEditorWindow::ShowTimes(int n) {
  const SesTimeTexts t = ComputeSessionTimes(St().Ses, n);
  segmentStartText_->setText(QString::fromStdString(t.Start));
  sessionTotalText_->setText(QString::fromStdString(t.Total));
}

void SessionEditorWindow::onGridCellSelected(int col) {
  ShowTimes(col);
}

void SessionEditorWindow::RefreshAll(int col) {
  model_->RefreshAll();
  MoveCursor(col, CurRow());
  ShowTimes(col);
  ShowModified();
}

int SessionEditorWindow::CurCol() const {
  const QModelIndex cur = segmentGrid_->currentIndex();
  return cur.isValid() ? cur.column() + 1 : 1;
}

int SessionEditorWindow::CurRow() const {
  const QModelIndex cur = segmentGrid_->currentIndex();
  return cur.isValid() ? SessionGridModel::ParamRow(cur.row()) : RowTime;
}

// The selection always holds the cursor's cell, as the grid's range
// selection is the rectangle between its anchor and the cursor.
int SessionEditorWindow::SelFirst() const {
  int first = CurCol();
  for (const QItemSelectionRange& r : segmentGrid_->selectionModel()->selection())
    first = std::min(first, r.left() + 1);
  return first;
}

int SessionEditorWindow::SelLast() const {
  int last = CurCol();
  for (const QItemSelectionRange& r : segmentGrid_->selectionModel()->selection())
    last = std::max(last, r.right() + 1);
  return std::min(last, static_cast<int>(St().Ses.SegCount));
}

void SessionEditorWindow::MoveCursor(int col, int row) {
  const QModelIndex idx = model_->index(row - 1, col - 1);
  segmentGrid_->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
  segmentGrid_->scrollTo(idx);
}

void SessionEditorWindow::Apply(const SegOpResult& result) {
  if (!result) {
    dialogs_.ShowError(QString::fromStdString(result.Error()));
    return;
  }
  const SegOpEffect& r = *result;
  if (r.Modifies) St().SesModified = true;
  if (r.CountChanged) model_->SyncSegCount();
  if (r.RefreshFrom > 0) model_->RefreshSegs(r.RefreshFrom, r.RefreshTo);
  if (r.Cursor > 0) MoveCursor(r.Cursor, CurRow());
  if (r.TimesColumn > 0) ShowTimes(r.TimesColumn);
}

void SessionEditorWindow::ValueStep(SegOpResult (*op)(Session&, int32_t, int32_t, int)) {
  Record([&] { Apply(op(St().Ses, SelFirst(), SelLast(), CurRow())); }, CurrentHold());
}

int SessionEditorWindow::CurrentHold() const {
  const bool held = heldKeys_->AnyHeld() || valueUpButton_->Held() || valueDownButton_->Held();
  return held ? holdNo_ : 0;
}

void SessionEditorWindow::Record(const std::function<void()>& change, int hold) {
  document_->Record(change, hold);
  // Also a step that changed nothing (a value already at its limit) may
  // count as a change of the session.
  ShowModified();
}

void SessionEditorWindow::ShowError(const std::string& text) {
  dialogs_.ShowError(WithFullStop(QString::fromStdString(text)));
}

namespace {

// Keys are told apart with the keypad flag: keypad plus is not the plus of
// the main keyboard.
int KeyId(const QKeyEvent* k) {
  return k->key() | static_cast<int>(k->modifiers() & Qt::KeypadModifier);
}

bool IsModifierKey(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
         key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_CapsLock ||
         key == Qt::Key_NumLock;
}

}  // namespace

void SessionEditorWindow::onValueKeyReleased(int key) {
  const int keypad = static_cast<int>(Qt::KeypadModifier);
  if (key == (Qt::Key_Plus | keypad)) ValueStep(&ovrel::IncVal);
  if (key == (Qt::Key_Minus | keypad)) ValueStep(&ovrel::DecVal);
}

bool SessionEditorWindow::eventFilter(QObject* watched, QEvent* e) {
  switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::KeyRelease: {
      auto* k = static_cast<QKeyEvent*>(e);
      if (IsModifierKey(k->key()) || k->key() == 0) break;
      // Shortcut keys (Q, A, ...) reach the grid only as the check before
      // the shortcut runs; both count as a press.
      if (e->type() == QEvent::KeyRelease)
        heldKeys_->Released(KeyId(k));
      else
        heldKeys_->Pressed(KeyId(k));
      const bool keypadStep = (k->modifiers() & Qt::KeypadModifier) &&
                              (k->key() == Qt::Key_Plus || k->key() == Qt::Key_Minus);
      if (keypadStep) return true;
      break;
    }
    case QEvent::WindowDeactivate:
      if (watched == this) heldKeys_->Forget();
      break;
    case QEvent::Resize:
      if (watched == client_) LayOutClient();
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, e);
}

void SessionEditorWindow::showEvent(QShowEvent* e) {
  // Shown from the main window: a session without unsaved changes gives way
  // to a new one.
  if (!e->spontaneous() && !document_->Modified()) {
    NewSession();
    document_->StartHistory();
  }
  QMainWindow::showEvent(e);
  // The arrow and value keys work at once.
  segmentGrid_->setFocus();
}

void SessionEditorWindow::hideEvent(QHideEvent* e) {
  // Closing only hides the window, and the program hides it when it ends.
  if (!e->spontaneous()) userSettings_.SaveGeometry(*this);
  QMainWindow::hideEvent(e);
}

void SessionEditorWindow::closeEvent(QCloseEvent* e) {
  if (document_->Modified()) {
    switch (AskToSave(QStringLiteral("Session has been modified. Save it before exit?"))) {
      case MsgResult::Yes:
        // Closing only hides the window: when the save dialog is cancelled
        // the session stays in memory, modified. A failed write keeps the
        // window open.
        if (Save() == SaveOutcome::Failed) {
          e->ignore();
          return;
        }
        break;
      case MsgResult::No:
        document_->SetModified(false);
        ShowModified();
        break;
      default:
        e->ignore();
        return;
    }
  }
  e->accept();
}

bool SessionEditorWindow::CanCloseApplication() {
  if (!document_->Modified() || discardAgreed_) return true;
  switch (AskToSave(QStringLiteral("Session has been modified. Save it before exit?"))) {
    case MsgResult::Yes:
      // The program ends only when the session really was written.
      return Save() == SaveOutcome::Saved;
    case MsgResult::No:
      discardAgreed_ = true;
      return true;
    default:
      return false;
  }
}

void SessionEditorWindow::onExitTriggered() {
  if (CanCloseApplication()) ExitApplication();
}

}  // namespace ovrel
