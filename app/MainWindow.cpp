#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/AppTexts.h"
#include "app/CanonicalPath.h"
#include "memory/MemoryWindow.h"
#include "storage/BackupHistory.h"
#include "storage/ProgramFolder.h"
#include "ui/ErrorDisplay.h"
#include "ui/WindowFont.h"
#include "ui/WindowLayout.h"

namespace ovrel {

namespace {

const QString kLibraryFilter = QStringLiteral("Sorvani Pro session library(*.svl)|*.svl");
const QString kSessionFilter = QStringLiteral("Sorvani Pro session (*.svs)|*.svs");
const QString kWriteMarkerFile = QStringLiteral(".ovrelware-writing");

// The folder of a chosen file, ending with a separator.
QString FolderWithSeparator(const QString& path) {
  QString folder = QFileInfo(path).path();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString JoinPath(const QString& folder, const QString& name) {
  if (folder.isEmpty() || folder.endsWith(QLatin1Char('/'))) return folder + name;
  return folder + QLatin1Char('/') + name;
}

QLabel* MakePanel(const QRect& geometry, QWidget* parent) {
  auto* panel = new QLabel(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(geometry);
  panel->setIndent(2);
  return panel;
}

}  // namespace

MainWindow::MainWindow(Dialogs& dialogs, DeviceService& device, MainWindowOptions options,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs, this),
      options_(std::move(options)),
      device_(device) {
  setObjectName(QStringLiteral("mainWindow"));
  setFont(WindowFont());
  setFixedSize(369, 204);
  CreateControls();
  NameControls();
  ConnectControls();
  FollowDevice();
  // The port list is filled from the system when the window is made; an
  // error there ends the start-up. Nothing is selected: the link has no
  // port until the user picks one or autodetection finds the device.
  portComboBox_->SetItems(ListPortsOrRaise());
  SetUpProgramFolder();
  RestoreUserSettings();
  // Asked once the window shows, from the event loop.
  if (device_.WriteCutOff())
    QTimer::singleShot(0, this, [this] { Guard([this] { OfferRestoreOfCutOffWrite(); }); });
}

void MainWindow::FollowDevice() {
  connect(&device_, &DeviceService::PortsListed, this,
          [this](const QStringList& ports) { portComboBox_->SetItems(ports); });
  connect(&device_, &DeviceService::ProbingPort, this,
          [this](int index) { portComboBox_->SetItemIndex(index); });
  connect(&device_, &DeviceService::Progress, this, &MainWindow::Progress);
  connect(&device_, &DeviceService::BusyChanged, this, &MainWindow::BusyChanged);
  connect(&device_, &DeviceService::JobEnded, this, &MainWindow::JobEnded);
  connect(&device_, &DeviceService::MemoryChanged, this, &MainWindow::DeviceMemoryChanged);
}

void MainWindow::RestoreUserSettings() {
  if (const QString library = userSettings_.LibraryFile(); QFileInfo(library).isFile())
    SelectLibraryFile(library);
  if (const QString session = userSettings_.SessionFile(); QFileInfo(session).isFile()) {
    folders_.SetSelectedSessionPath(session);
    sessionFileEdit_->setText(QFileInfo(session).fileName());
  }
  if (const QString folder = userSettings_.SessionsFolder(); QFileInfo(folder).isDir())
    folders_.SetSessionsFolder(folder);
  if (const QString folder = userSettings_.LibrariesFolder(); QFileInfo(folder).isDir())
    folders_.SetLibrariesFolder(folder);
  // The port only when the system still lists it.
  portComboBox_->SetText(userSettings_.Port());
  if (!portComboBox_->Text().isEmpty()) device_.SetPort(portComboBox_->Text());
}

MainWindow::~MainWindow() = default;

void MainWindow::CreateControls() {
  portLabel_ = MakeLabel(QStringLiteral("COM port"), 16, 8, this);
  portComboBox_ = new PortComboBox(this);
  portComboBox_->setGeometry(16, 24, 129, 21);
  connectButton_ = MakeButton(QStringLiteral("Connect"), {16, 56, 73, 25}, this);
  memoryButton_ = MakeButton(QStringLiteral("Memory"), {96, 56, 49, 25}, this);
  sessionEditorButton_ = MakeButton(QStringLiteral("Session Editor"), {16, 104, 129, 25}, this);
  libraryCompilerButton_ =
      MakeButton(QStringLiteral("Session Library Compiler"), {16, 144, 129, 25}, this);

  libraryLabel_ = MakeLabel(QStringLiteral("Session Library"), 224, 8, this);
  libraryFileEdit_ = new QLineEdit(this);
  libraryFileEdit_->setGeometry(224, 24, 129, 21);
  selectLibraryButton_ = MakeButton(QStringLiteral("Select"), {224, 56, 49, 25}, this);
  uploadLibraryButton_ = MakeButton(QStringLiteral("Upload"), {280, 56, 73, 25}, this);
  uploadLibraryButton_->setEnabled(false);

  singleSessionLabel_ = MakeLabel(QStringLiteral("Single Session"), 224, 96, this);
  sessionFileEdit_ = new QLineEdit(this);
  sessionFileEdit_->setGeometry(224, 112, 129, 21);
  selectSessionButton_ = MakeButton(QStringLiteral("Select"), {224, 144, 49, 25}, this);
  uploadAddButton_ = MakeButton(QStringLiteral("Upload/Add"), {280, 144, 73, 25}, this);
  uploadAddButton_->setEnabled(false);

  statusBar_ = new QWidget(this);
  statusBar_->setGeometry(0, 185, 369, 19);
  panels_[0] = MakePanel({0, 0, 280, 19}, statusBar_);
  panels_[0]->setText(QStringLiteral("Click on the Connect button first"));
  panels_[1] = MakePanel({282, 0, 87, 19}, statusBar_);
  panels_[1]->setText(linktext::kNotConnected);
  progressBar_ = new QProgressBar(statusBar_);
  progressBar_->setGeometry(282, 1, 86, 17);
  progressBar_->setTextVisible(false);
  progressBar_->hide();
}

void MainWindow::NameControls() {
  // Named for their role, so that they can be found by name.
  const std::pair<QWidget*, const char*> named[] = {
      {portLabel_, "portLabel"},
      {portComboBox_, "portComboBox"},
      {connectButton_, "connectButton"},
      {memoryButton_, "memoryButton"},
      {sessionEditorButton_, "sessionEditorButton"},
      {libraryCompilerButton_, "libraryCompilerButton"},
      {libraryLabel_, "libraryLabel"},
      {libraryFileEdit_, "libraryFileEdit"},
      {selectLibraryButton_, "selectLibraryButton"},
      {uploadLibraryButton_, "uploadLibraryButton"},
      {singleSessionLabel_, "singleSessionLabel"},
      {sessionFileEdit_, "sessionFileEdit"},
      {selectSessionButton_, "selectSessionButton"},
      {uploadAddButton_, "uploadAddButton"},
      {statusBar_, "statusBar"},
      {progressBar_, "progressBar"}};
  for (const auto& [control, name] : named) control->setObjectName(QLatin1String(name));
  NameForScreenReaders();

  QWidget* const tabOrder[] = {portComboBox_,        libraryFileEdit_,     selectLibraryButton_,
                               uploadLibraryButton_, sessionEditorButton_, libraryCompilerButton_,
                               connectButton_,       uploadAddButton_,     sessionFileEdit_,
                               selectSessionButton_};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i)
    QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void MainWindow::ConnectControls() {
  auto on = [this](QPushButton* button, void (MainWindow::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { Guard([&] { (this->*handler)(); }); });
  };
  on(selectLibraryButton_, &MainWindow::onSelectLibraryClicked);
  on(selectSessionButton_, &MainWindow::onSelectSessionClicked);
  on(sessionEditorButton_, &MainWindow::ShowSessionEditor);
  on(libraryCompilerButton_, &MainWindow::onLibraryCompilerClicked);
  on(connectButton_, &MainWindow::onConnectClicked);
  on(memoryButton_, &MainWindow::onMemoryClicked);
  on(uploadLibraryButton_, &MainWindow::onUploadLibraryClicked);
  on(uploadAddButton_, &MainWindow::onUploadAddClicked);
  connect(libraryFileEdit_, &QLineEdit::editingFinished, this, &MainWindow::onFileNameTyped);
  connect(sessionFileEdit_, &QLineEdit::editingFinished, this, &MainWindow::onFileNameTyped);
  portComboBox_->OnDropDown = [this] { Guard([this] { onPortListDropDown(); }); };
  portComboBox_->OnPortPicked = [this](const QString& port) {
    device_.SetPort(port);
    userSettings_.SetPort(port);
  };
}

void MainWindow::NameForScreenReaders() {
  // The buttons and labels say what they are by their text, but for the two
  // "Select" buttons; the lists and boxes have no text of their own.
  const std::pair<QWidget*, const char*> named[] = {
      {portComboBox_, "COM port"},
      {libraryFileEdit_, "Session library file"},
      {selectLibraryButton_, "Select the session library file"},
      {uploadLibraryButton_, "Upload the session library"},
      {sessionFileEdit_, "Single session file"},
      {selectSessionButton_, "Select the single session file"},
      {uploadAddButton_, "Upload or add the single session"},
      {memoryButton_, "Show the sessions in the Sorvani memory"},
      {statusBar_, "Status"},
      {progressBar_, "Progress of the device operation"}};
  for (const auto& [control, name] : named) control->setAccessibleName(QLatin1String(name));
}

void MainWindow::Guard(const std::function<void()>& handler) {
  RunGuarded(dialogs_, handler);
}

QString MainWindow::PanelText(int panel) const {
  return panels_[panel]->text();
}

bool MainWindow::Writing() const {
  return memoryWindow_ && memoryWindow_->Writing();
}

void MainWindow::SetUpProgramFolder() {
  const QString program = options_.ProgramFile.isEmpty() ? QCoreApplication::applicationFilePath()
                                                         : options_.ProgramFile;
  const QString longName = CanonicalPath(program);
  QString folder;
  QString documents;
  if (!longName.isEmpty()) {
    // An installed program works in its per-user folder instead.
    const ProgramFolders place = LocateProgramFolders(QFileInfo(longName).path());
    folder = place.Program;
    documents = place.Documents;
    QDir::setCurrent(folder);  // a failure leaves the current directory as it is
    programFolder_ = folder;
    // Exists while a write runs: a program killed meanwhile leaves it.
    device_.SetWriteMarker(JoinPath(folder, kWriteMarkerFile));
  }
  folders_.SetProgramFolders(folder, documents);
  setWindowTitle(kProductCaption);
}

void MainWindow::ShowInFront() {
  if (!isVisible()) {
    if (userSettings_.RestoreGeometry(*this)) {
      // Where the user left it.
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect placed = rect();
      placed.moveCenter(screen->availableGeometry().center());
      setGeometry(placed);
    }
    show();
  } else if (isMinimized()) {
    showNormal();
  }
  raise();
  activateWindow();
}

void MainWindow::SetEditorWindows(QWidget* editor, QWidget* compiler) {
  editor_ = editor;
  compiler_ = compiler;
}

void MainWindow::SetCanCloseApplication(std::function<bool()> canClose,
                                        std::function<void()> closeRefused) {
  canClose_ = std::move(canClose);
  closeRefused_ = std::move(closeRefused);
}

std::optional<QString> MainWindow::SelectFile(const QString& filter, const QString& folder,
                                              const QString& extension,
                                              const QString& wrongFormatText) {
  FileDialogRequest request;
  request.Filter = filter;
  request.DefaultExt = QStringLiteral("svl");  // one dialog for both kinds of file
  request.InitialDir = folder;
  const std::optional<QString> chosen = dialogs_.OpenFile(request);
  if (!chosen) return std::nullopt;
  if (QLatin1Char('.') + QFileInfo(*chosen).suffix().toLower() != extension) {
    dialogs_.ShowError(wrongFormatText);
    return std::nullopt;
  }
  return chosen;
}

void MainWindow::onSelectLibraryClicked() {
  const std::optional<QString> path =
      SelectFile(kLibraryFilter, folders_.LibrariesFolder(), QStringLiteral(".svl"),
                 QStringLiteral("Unsupported session library file format"));
  if (path) SelectLibraryFile(*path);
}

void MainWindow::SelectLibraryFile(const QString& path) {
  folders_.SetSelectedLibraryPath(path);
  libraryFileEdit_->setText(QFileInfo(path).fileName());
  folders_.SetLibrariesFolder(FolderWithSeparator(path));
  userSettings_.SetLibraryFile(path);
  userSettings_.SetLibrariesFolder(folders_.LibrariesFolder());
}

void MainWindow::onSelectSessionClicked() {
  const std::optional<QString> path =
      SelectFile(kSessionFilter, folders_.SessionsFolder(), QStringLiteral(".svs"),
                 QStringLiteral("Unsupported session file format"));
  if (path) SelectSessionFile(*path);
}

void MainWindow::onFileNameTyped() {
  // A name typed into a box counts as picked once it names a file in the
  // folder of the picked ones.
  const QString library = PathFromEdit(folders_.SelectedLibraryPath(), folders_.LibrariesFolder(),
                                       libraryFileEdit_->text());
  if (!libraryFileEdit_->text().isEmpty() && library != folders_.SelectedLibraryPath() &&
      QFileInfo(library).isFile())
    SelectLibraryFile(library);
  const QString session = PathFromEdit(folders_.SelectedSessionPath(), folders_.SessionsFolder(),
                                       sessionFileEdit_->text());
  if (!sessionFileEdit_->text().isEmpty() && session != folders_.SelectedSessionPath() &&
      QFileInfo(session).isFile())
    SelectSessionFile(session);
}

void MainWindow::SelectSessionFile(const QString& path) {
  folders_.SetSelectedSessionPath(path);
  sessionFileEdit_->setText(QFileInfo(path).fileName());
  folders_.SetSessionsFolder(FolderWithSeparator(path));
  userSettings_.SetSessionFile(path);
  userSettings_.SetSessionsFolder(folders_.SessionsFolder());
}

void MainWindow::ShowSessionEditor() {
  if (!editor_) return;
  if (editor_->isMinimized()) editor_->showNormal();
  editor_->show();
  editor_->raise();
  editor_->activateWindow();
}

void MainWindow::onLibraryCompilerClicked() {
  if (!compiler_) return;
  if (compiler_->isMinimized()) compiler_->showNormal();
  compiler_->show();
  compiler_->raise();
  compiler_->activateWindow();
}

QString MainWindow::PathFromEdit(const QString& selectedPath, const QString& folder,
                                 const QString& text) {
  if (QFileInfo(selectedPath).fileName() != text) return JoinPath(folder, text);
  return selectedPath;
}

void MainWindow::onConnectClicked() {
  SetStatusText(0, QStringLiteral("Autodetecting Sorvani..."));
  device_.Connect([this](const JobResult& result) {
    // Why, port by port: the commonest first-run problems have a remedy.
    if (!result.Ok()) ShowResult(result);
  });
}

void MainWindow::DeviceAnswered() {
  SetStatusText(1, QStringLiteral("Connected"));
  userSettings_.SetPort(device_.Port());
  deviceFound_ = true;
  UpdateDeviceButtons();
}

void MainWindow::JobEnded(const JobResult& result) {
  SetStatusText(0, result.Status());
  // A job that ended well, or found what the device holds (another memory
  // than expected, other bytes than written): the device answered.
  const bool answered =
      result.Ok() || result.Failed == JobFailure::Changed || result.Failed == JobFailure::Verify;
  if (result.Kind == FailureKind::NotConnected || result.Kind == FailureKind::PortFailure)
    SetStatusText(1, linktext::kNotConnected);
  else if (answered)
    DeviceAnswered();
  if (!result.Ok() && result.Job != JobKind::Connect) RefreshPortsIfGone();
}

void MainWindow::OfferRestoreOfCutOffWrite() {
  const std::optional<CutOffWrite> cut = device_.WriteCutOff();
  if (!cut) return;
  // Asked once: the marker goes whatever the answer.
  device_.ForgetCutOffWrite();
  QString text = QStringLiteral(
                     "The program ended while it was writing to Sorvani (port %1, "
                     "since %2): the memory of Sorvani may not be a sound library now.")
                     .arg(cut->Port, cut->Started);
  const std::optional<BackupEntry> kept = BackupHistory().RestoreTarget();
  if (!kept) {
    text += QStringLiteral("\n\nThe memory as it was before the write was not kept.");
    dialogs_.Message({kAppTitle, text, MsgIcon::Warning, MsgButtons::Ok, {}});
    return;
  }
  text += QStringLiteral(
              "\n\nThe memory as it was before the write is kept in %1. Restore it "
              "to Sorvani now?")
              .arg(QFileInfo(kept->Path).fileName());
  if (dialogs_.Message({kAppTitle, text, MsgIcon::Warning, MsgButtons::YesNo,
                        QDir::toNativeSeparators(kept->Path)}) != MsgResult::Yes)
    return;
  if (device_.Port().isEmpty()) device_.SetPort(cut->Port);
  SetStatusText(0, QStringLiteral("Restoring the Sorvani session memory"));
  WriteOptions options = Options();
  options.Verify = true;
  // What the cut-off write left is kept as a plain read, never restored.
  device_.UploadFile(
      kept->Path, std::move(options), [this](const JobResult& result) { ShowResult(result); },
      BackupReason::Read, QStringLiteral("the memory was restored"));
}

void MainWindow::DeviceMemoryChanged(const JobResult& result, const QString& what) {
  if (!result.Ok()) return;
  if (memoryWindow_ && result.MemImg) memoryWindow_->DeviceChanged(*result.MemImg, what);
}

void MainWindow::onMemoryClicked() {
  if (!memoryWindow_) {
    memoryWindow_ = new MemoryWindow(
        folders_, dialogs_, device_, [this](const JobResult& r) { ShowResult(r); }, this);
  }
  // Without a port the window opens empty, for library files.
  if (device_.Port().isEmpty()) {
    memoryWindow_->show();
    memoryWindow_->raise();
    return;
  }
  SetStatusText(0, StageText(JobKind::Read, JobStage::Read));
  device_.Read([this](const JobResult& result) {
    ShowResult(result);
    if (!result.Ok()) return;
    memoryWindow_->show();
    memoryWindow_->raise();
    memoryWindow_->ShowDeviceMemory(*result.MemImg);
  });
}

void MainWindow::onUploadLibraryClicked() {
  const QString path = PathFromEdit(folders_.SelectedLibraryPath(), folders_.LibrariesFolder(),
                                    libraryFileEdit_->text());
  folders_.SetSelectedLibraryPath(path);
  // A missing file is told before the device is read for nothing.
  if (!QFileInfo(path).exists()) {
    // The text as it always was; the file it looked for on the next line.
    JobResult missing;
    missing.Failed = JobFailure::File;
    missing.Message = {JobText::LibFileNotFound, path, {}};
    dialogs_.ShowError(missing.Message.Text() + QLatin1Char('\n') + QDir::toNativeSeparators(path));
    SetStatusText(0, JobEnd(JobKind::Upload, missing).Status());
    return;
  }
  // The upload replaces every session in the device: what it replaces is
  // read first and kept in the backup history (by the job). A file that
  // cannot be uploaded is refused before the device is read.
  SetStatusText(0, QStringLiteral("Reading the Sorvani session memory (backup)"));
  WriteOptions options = Options();
  options.WriteWithoutBackup = [this](const JobResult& read) {
    bool go = false;
    Guard([&] { go = MayUploadWithoutBackup(read); });
    return go;
  };
  DeviceJob* job = device_.UploadFile(
      path, std::move(options),
      [this](const JobResult& result) {
        if (result.Failed == JobFailure::NotKept) return;  // the user said no
        ShowResult(result);
      },
      BackupReason::BeforeUpload, QStringLiteral("a session library was uploaded"));
  connect(job, &DeviceJob::StageEnded, this, [this](JobStage stage) {
    if (stage == JobStage::Read) SetStatusText(0, StageText(JobKind::Upload, JobStage::Write));
  });
}

WriteOptions MainWindow::Options() {
  WriteOptions options;
  options.WorkingFolder = programFolder_;
  return options;
}

bool MainWindow::MayUploadWithoutBackup(const JobResult& read) {
  for (const JobMessage& note : read.Notes) ShowMessage(note);
  return dialogs_.Message(
             {kAppTitle,
              read.Message.Text() + QStringLiteral(" Upload the session library all the same? The "
                                                   "sessions now in Sorvani will be lost."),
              MsgIcon::Warning, MsgButtons::YesNo, read.Message.Detail}) == MsgResult::Yes;
}

void MainWindow::onUploadAddClicked() {
  const QString path = PathFromEdit(folders_.SelectedSessionPath(), folders_.SessionsFolder(),
                                    sessionFileEdit_->text());
  folders_.SetSelectedSessionPath(path);
  if (!QFileInfo(path).exists()) {
    dialogs_.ShowError(JobTextOf(JobText::SesFileNotFound));
    return;
  }
  SetStatusText(0, StageText(JobKind::Add, JobStage::Write));
  device_.Add(
      path, Options(), [this](const JobResult& result) { ShowResult(result); },
      QStringLiteral("a session was added"));
}

void MainWindow::ShowResult(const JobResult& result) {
  for (const JobMessage& note : result.Notes) ShowMessage(note);
  if (!result.Message.Empty()) ShowMessage(result.Message);
}

void MainWindow::ShowRemoteFailure(const JobResult& result) {
  std::vector<JobMessage> messages = result.Notes;
  if (!result.Message.Empty()) messages.push_back(result.Message);
  if (messages.empty()) return;
  QStringList texts;
  QStringList details;
  bool error = false;
  for (const JobMessage& message : messages) {
    texts << message.Text();
    if (!message.Detail.isEmpty()) details << message.Detail;
    error = error || message.IsError();
  }
  const QString text = texts.join(QLatin1Char('\n'));
  const QString detail = details.join(QLatin1Char('\n'));
  const QString key = text + QLatin1Char('\n') + detail;
  remoteFailureCount_ =
      remoteFailureBox_ && remoteFailureBox_->isVisible() && remoteFailureText_ == key
          ? remoteFailureCount_ + 1
          : 1;
  remoteFailureText_ = key;
  if (!remoteFailureBox_) {
    remoteFailureBox_ = new QMessageBox(this);
    remoteFailureBox_->setObjectName(QStringLiteral("remoteFailureBox"));
    remoteFailureBox_->setWindowTitle(kAppTitle);
    remoteFailureBox_->setStandardButtons(QMessageBox::Ok);
    remoteFailureBox_->setWindowModality(Qt::NonModal);
  }
  remoteFailureBox_->setIcon(error ? QMessageBox::Critical : QMessageBox::NoIcon);
  remoteFailureBox_->setText(
      remoteFailureCount_ < 2
          ? text
          : text + QStringLiteral(" (repeated %1 times)").arg(remoteFailureCount_));
  remoteFailureBox_->setInformativeText(detail);
  remoteFailureBox_->show();
}

void MainWindow::RefreshPortsIfGone() {
  // The adapter was unplugged: the list follows at once, as when it opens.
  if (QFileInfo::exists(device_.Port())) return;
  Guard([this] { onPortListDropDown(); });
}

void MainWindow::onPortListDropDown() {
  const QString remembered = portComboBox_->Text();
  // On an error the entries keep their old contents.
  portComboBox_->SetItems(ListPortsOrRaise());
  portComboBox_->SetText(remembered);
  if (portComboBox_->Text().isEmpty() && portComboBox_->count() > 0) portComboBox_->SetItemIndex(0);
}

bool MainWindow::MayEndProgram() {
  // The answers change nothing until the program really ends: a window
  // that keeps its work leaves the others' work too, to be asked again.
  if ((!canClose_ || canClose_()) && (!memoryWindow_ || memoryWindow_->MayEndProgram()))
    return true;
  if (closeRefused_) closeRefused_();
  if (memoryWindow_) memoryWindow_->EndRefused();
  return false;
}

bool MainWindow::MayClose() {
  // Asked again when the delayed close comes: the editor stays usable while
  // the operation runs. Work answered for already is not asked twice.
  // Every window is asked before any goes, so that a "No" leaves them all open.
  if (!MayEndProgram()) {
    closeWhenIdle_ = false;
    return false;
  }
  if (device_.Busy() || (memoryWindow_ && memoryWindow_->Writing())) {
    // Cutting an operation off could leave the device in the middle of a
    // transfer: the window closes once the operation has ended.
    if (!closeWhenIdle_) {
      closeWhenIdle_ = true;
      dialogs_.Message({kAppTitle, kCloseWhenIdleText, MsgIcon::Information, MsgButtons::Ok, {}});
      // Not from inside this close: Qt drops a close started while one is
      // being decided (under X11 the window even goes without the program
      // ending), and the operation may have ended while the message was read.
      QTimer::singleShot(0, this, &MainWindow::CloseWhenIdle);
    }
    return false;
  }
  device_.ClosePort();
  return true;
}

void MainWindow::CloseWhenIdle() {
  if (!closeWhenIdle_) return;
  // A message about the operation's end is read first.
  if (device_.Busy() || (memoryWindow_ && memoryWindow_->Writing()) ||
      QApplication::activeModalWidget()) {
    QTimer::singleShot(100, this, &MainWindow::CloseWhenIdle);
    return;
  }
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  bool canClose = false;
  Guard([&] { canClose = MayClose(); });
  if (!canClose) {
    event->ignore();
    return;
  }
  event->accept();
  userSettings_.SaveGeometry(*this);
  if (memoryWindow_) memoryWindow_->hide();
  emit Closed();
}

void MainWindow::UpdateDeviceButtons() {
  connectButton_->setEnabled(!busy_);
  uploadLibraryButton_->setEnabled(!busy_ && deviceFound_);
  uploadAddButton_->setEnabled(!busy_ && deviceFound_);
  memoryButton_->setEnabled(!busy_);
  // Picking a port mid-operation would move the open port under it.
  portComboBox_->setEnabled(!busy_);
}

void MainWindow::SetStatusText(int panel, const QString& text) {
  if (panel == 0 || panel == 1) panels_[panel]->setText(text);
}

void MainWindow::ShowMessage(const JobMessage& message) {
  dialogs_.Message({kAppTitle, message.Text(), message.IsError() ? MsgIcon::Error : MsgIcon::None,
                    MsgButtons::Ok, message.Detail});
}

void MainWindow::Progress(const LinkProgress& progress) {
  if (progress.Count <= 0) {
    progressBar_->hide();
    panels_[1]->show();
    return;
  }
  // By time rather than by command: the pause before a merged upload is
  // most of an Upload/Add.
  progressBar_->setRange(0, 1000);
  progressBar_->setValue(progress.Permille);
  panels_[1]->hide();
  progressBar_->show();
}

void MainWindow::BusyChanged(bool busy) {
  busy_ = busy;
  if (busy) focusBeforeBusy_ = focusWidget();
  if (!busy) Progress({});
  UpdateDeviceButtons();
  // The pressed button keeps the focus once it is enabled again.
  if (!busy && focusBeforeBusy_ && focusBeforeBusy_->isEnabled()) focusBeforeBusy_->setFocus();
}

}  // namespace ovrel
