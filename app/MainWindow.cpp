#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "app/AppTexts.h"
#include "ui/ErrorDisplay.h"
#include "app/LongFileName.h"
#include "ui/WindowFont.h"
#include "ui/WindowLayout.h"
#include "device/link/DeviceLink.h"
#include "device/serial/ComPort.h"
#include "storage/BackupHistory.h"
#include "storage/ProgramFolder.h"

namespace ovrel {

namespace {

const QString kLibraryFilter = QStringLiteral("Sorvani Pro session library(*.svl)|*.svl");
const QString kSessionFilter = QStringLiteral("Sorvani Pro session (*.svs)|*.svs");

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

MainWindow::MainWindow(Dialogs& dialogs, MainWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs, this),
      options_(std::move(options)),
      comPort_(std::make_unique<TComPort>()) {
  setObjectName(QStringLiteral("mainWindow"));
  setFont(WindowFont());
  setFixedSize(369, 204);
  CreateControls();
  link_ = std::make_unique<DeviceLink>(*comPort_, static_cast<LinkUi&>(*this), options_.Timing);
  link_->KeepMemoryImage = BackupHistory::KeepInUserHistory;
  // The port list fills itself from the system when the window is made; an
  // error there ends the start-up.
  portComboBox->Bind(comPort_.get(), true);
  FormCreate();
}

MainWindow::~MainWindow() = default;

void MainWindow::CreateControls() {
  portLabel = MakeLabel(QStringLiteral("COM port"), 16, 8, this);
  portComboBox = new PortComboBox(this);
  portComboBox->setGeometry(16, 24, 129, 21);
  connectButton = MakeButton(QStringLiteral("Connect"), {16, 56, 73, 25}, this);
  sessionEditorButton = MakeButton(QStringLiteral("Session Editor"), {16, 104, 129, 25}, this);
  libraryCompilerButton =
      MakeButton(QStringLiteral("Session Library Compiler"), {16, 144, 129, 25}, this);

  libraryLabel = MakeLabel(QStringLiteral("Session Library"), 224, 8, this);
  libraryFileEdit = new QLineEdit(this);
  libraryFileEdit->setGeometry(224, 24, 129, 21);
  selectLibraryButton = MakeButton(QStringLiteral("Select"), {224, 56, 49, 25}, this);
  uploadLibraryButton = MakeButton(QStringLiteral("Upload"), {280, 56, 73, 25}, this);
  uploadLibraryButton->setEnabled(false);

  singleSessionLabel = MakeLabel(QStringLiteral("Single Session"), 224, 96, this);
  sessionFileEdit = new QLineEdit(this);
  sessionFileEdit->setGeometry(224, 112, 129, 21);
  selectSessionButton = MakeButton(QStringLiteral("Select"), {224, 144, 49, 25}, this);
  uploadAddButton = MakeButton(QStringLiteral("Upload/Add"), {280, 144, 73, 25}, this);
  uploadAddButton->setEnabled(false);

  statusBar = new QWidget(this);
  statusBar->setGeometry(0, 185, 369, 19);
  panels_[0] = MakePanel({0, 0, 280, 19}, statusBar);
  panels_[0]->setText(QStringLiteral("Click on the Connect button first"));
  panels_[1] = MakePanel({282, 0, 87, 19}, statusBar);
  panels_[1]->setText(linktext::kNotConnected);
  progressBar = new QProgressBar(statusBar);
  progressBar->setGeometry(282, 1, 86, 17);
  progressBar->setTextVisible(false);
  progressBar->hide();

  QWidget* const tabOrder[] = {portComboBox,        libraryFileEdit,     selectLibraryButton,
                               uploadLibraryButton, sessionEditorButton, libraryCompilerButton,
                               connectButton,       uploadAddButton,     sessionFileEdit,
                               selectSessionButton};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i)
    QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

  auto on = [this](QPushButton* button, void (MainWindow::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { Guard([&] { (this->*handler)(); }); });
  };
  on(selectLibraryButton, &MainWindow::onSelectLibraryClicked);
  on(selectSessionButton, &MainWindow::onSelectSessionClicked);
  on(sessionEditorButton, &MainWindow::onSessionEditorClicked);
  on(libraryCompilerButton, &MainWindow::onLibraryCompilerClicked);
  on(connectButton, &MainWindow::onConnectClicked);
  on(uploadLibraryButton, &MainWindow::onUploadLibraryClicked);
  on(uploadAddButton, &MainWindow::onUploadAddClicked);
  portComboBox->OnDropDown = [this] { Guard([this] { onPortListDropDown(); }); };
  portComboBox->Guard = [this](const std::function<void()>& apply) { Guard(apply); };
}

void MainWindow::Guard(const std::function<void()>& handler) {
  RunGuarded(dialogs_, handler);
}

QString MainWindow::PanelText(int panel) const {
  return panels_[panel]->text();
}

void MainWindow::FormCreate() {
  const QString program = options_.ProgramFile.isEmpty() ? QCoreApplication::applicationFilePath()
                                                         : options_.ProgramFile;
  const QString longName = LongFileName(program);
  QString folder;
  QString documents;
  if (!longName.isEmpty()) {
    // An installed program works in its per-user folder instead.
    const ProgramFolders place = LocateProgramFolders(QFileInfo(longName).path());
    folder = place.Program;
    documents = place.Documents;
    QDir::setCurrent(folder);  // a failure leaves the current directory as it is
    link_->SetWorkingFolder(folder);
  }
  Folders.ProgramFolder = folder;
  Folders.DocumentFolder = documents;
  Folders.SessionsFolder = folder + QStringLiteral("/Sessions");
  Folders.LibrariesFolder = folder + QStringLiteral("/Libraries");
  setWindowTitle(kProductCaption);
}

void MainWindow::ShowMainForm() {
  if (!isVisible()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
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

void MainWindow::SetCanCloseApplication(std::function<bool()> canClose) {
  canClose_ = std::move(canClose);
}

std::optional<QString> MainWindow::SelectFile(const QString& filter, const QString& folder,
                                              const QString& extension,
                                              const QString& wrongFormatText) {
  FileDialogRequest request;
  request.filter = filter;
  request.defaultExt = QStringLiteral("svl");  // one dialog for both kinds of file
  request.initialDir = folder;
  const std::optional<QString> chosen = dialogs_.openFile(request);
  if (!chosen) return std::nullopt;
  if (QLatin1Char('.') + QFileInfo(*chosen).suffix().toLower() != extension) {
    dialogs_.error(wrongFormatText);
    return std::nullopt;
  }
  return chosen;
}

void MainWindow::onSelectLibraryClicked() {
  const std::optional<QString> path =
      SelectFile(kLibraryFilter, Folders.LibrariesFolder, QStringLiteral(".svl"),
                 QStringLiteral("Unsupported session library file format"));
  if (path) SelectLibraryFile(*path);
}

void MainWindow::SelectLibraryFile(const QString& path) {
  Folders.SelectedLibraryPath = path;
  libraryFileEdit->setText(QFileInfo(path).fileName());
  Folders.LibrariesFolder = FolderWithSeparator(path);
}

void MainWindow::onSelectSessionClicked() {
  const std::optional<QString> path =
      SelectFile(kSessionFilter, Folders.SessionsFolder, QStringLiteral(".svs"),
                 QStringLiteral("Unsupported session file format"));
  if (!path) return;
  Folders.SelectedSessionPath = *path;
  sessionFileEdit->setText(QFileInfo(*path).fileName());
  Folders.SessionsFolder = FolderWithSeparator(*path);
}

void MainWindow::onSessionEditorClicked() {
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

QString MainWindow::PathFromEdit(QString& selectedPath, const QString& folder,
                                 const QString& text) {
  if (QFileInfo(selectedPath).fileName() != text) selectedPath = JoinPath(folder, text);
  return selectedPath;
}

void MainWindow::onConnectClicked() {
  SetStatusText(0, QStringLiteral("Autodetecting Sorvani..."));
  link_->Connect([this](const OperationResult& result) {
    if (result.Ok()) {
      SetStatusText(1, QStringLiteral("Connected"));
      SetStatusText(0, QStringLiteral("Sorvani successfully detected"));
      deviceFound_ = true;
      UpdateDeviceButtons();
      return;
    }
    SetStatusText(0, linktext::kAutodetectionFailed);
    // Why, port by port: the commonest first-run problems have a remedy.
    ShowResult(result);
  });
}

void MainWindow::onUploadLibraryClicked() {
  const QString path =
      PathFromEdit(Folders.SelectedLibraryPath, Folders.LibrariesFolder, libraryFileEdit->text());
  SetStatusText(0, QStringLiteral("Uploading Sorvani session library"));
  link_->UploadLibrary(path, [this](const OperationResult& result) {
    ShowResult(result);
    SetStatusText(0, result.Ok() ? QStringLiteral("Sorvani session library uploaded successfully")
                                 : QStringLiteral("Sorvani session library upload failed"));
    if (!result.Ok()) RefreshPortsIfGone();
  });
}

void MainWindow::onUploadAddClicked() {
  const QString path =
      PathFromEdit(Folders.SelectedSessionPath, Folders.SessionsFolder, sessionFileEdit->text());
  if (!QFileInfo(path).isFile()) {
    dialogs_.error(linktext::kSesFileNotFound);
    return;
  }
  SetStatusText(0, QStringLiteral("Uploading/adding single session to Sorvani"));
  link_->AddSession(path, [this](const OperationResult& result) {
    ShowResult(result);
    SetStatusText(0, result.Ok() ? QStringLiteral("Single session uploaded to Sorvani successfully")
                                 : QStringLiteral("Single session upload to Sorvani failed"));
    if (!result.Ok()) RefreshPortsIfGone();
  });
}

void MainWindow::ShowResult(const OperationResult& result) {
  for (const LinkMessage& note : result.Notes) ShowMessage(note);
  if (result.Kind == FailureKind::NotConnected || result.Kind == FailureKind::PortFailure) {
    SetStatusText(1, linktext::kNotConnected);
    SetStatusText(0, linktext::kConnectionLost);
  }
  if (!result.Message.Text.isEmpty()) ShowMessage(result.Message);
}

void MainWindow::RefreshPortsIfGone() {
  // The adapter was unplugged: the list follows at once, as when it opens.
  if (QFileInfo::exists(comPort_->Port())) return;
  Guard([this] { onPortListDropDown(); });
}

void MainWindow::onPortListDropDown() {
  const QString remembered = portComboBox->Text();
  QStringList ports;
  ListComPorts(ports);  // on an error the entries keep their old contents
  portComboBox->SetItems(ports);
  portComboBox->SetText(remembered);
  if (portComboBox->Text().isEmpty() && portComboBox->count() > 0) portComboBox->SetItemIndex(0);
}

void MainWindow::FormCloseQuery(bool& CanClose) {
  CanClose = false;
  // Asked again when the delayed close comes: the editor stays usable while
  // the operation runs. A session answered for already is not asked twice.
  if (canClose_ && !canClose_()) {
    closeWhenIdle_ = false;
    return;
  }
  if (link_->Busy()) {
    // Cutting an operation off could leave the device in the middle of a
    // transfer: the window closes once the operation has ended.
    if (!closeWhenIdle_) {
      closeWhenIdle_ = true;
      dialogs_.message({kAppTitle, kCloseWhenIdleText, MsgIcon::Information, MsgButtons::Ok, {}});
      // Not from inside this close: Qt drops a close started while one is
      // being decided (under X11 the window even goes without the program
      // ending), and the operation may have ended while the message was read.
      QTimer::singleShot(0, this, &MainWindow::CloseWhenIdle);
    }
    return;
  }
  comPort_->Close();
  CanClose = true;
}

void MainWindow::CloseWhenIdle() {
  if (!closeWhenIdle_) return;
  // A message about the operation's end is read first.
  if (link_->Busy() || QApplication::activeModalWidget()) {
    QTimer::singleShot(100, this, &MainWindow::CloseWhenIdle);
    return;
  }
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  bool canClose = false;
  Guard([&] { FormCloseQuery(canClose); });
  if (!canClose) {
    event->ignore();
    return;
  }
  event->accept();
  emit MainFormClosed();
}

void MainWindow::UpdateDeviceButtons() {
  connectButton->setEnabled(!busy_);
  uploadLibraryButton->setEnabled(!busy_ && deviceFound_);
  uploadAddButton->setEnabled(!busy_ && deviceFound_);
  // Picking a port mid-operation would move the open port under it.
  portComboBox->setEnabled(!busy_);
}

void MainWindow::SetStatusText(int panel, const QString& text) {
  if (panel == 0 || panel == 1) panels_[panel]->setText(text);
}

void MainWindow::ShowMessage(const LinkMessage& message) {
  dialogs_.message({kAppTitle, message.Text,
                    message.Icon == LinkIcon::Error ? MsgIcon::Error : MsgIcon::None,
                    MsgButtons::Ok, message.Detail});
}

void MainWindow::PortsListed(const QStringList& ports) {
  portComboBox->SetItems(ports);
}

void MainWindow::ProbingPort(int index) {
  portComboBox->SetItemIndex(index);
}

void MainWindow::Progress(const LinkProgress& progress) {
  if (progress.Count <= 0) {
    progressBar->hide();
    panels_[1]->show();
    return;
  }
  // By time rather than by command: the pause before a merged upload is
  // most of an Upload/Add.
  progressBar->setRange(0, 1000);
  progressBar->setValue(progress.Permille);
  panels_[1]->hide();
  progressBar->show();
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
