#include "app/TForm1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include "app/AppTexts.h"
#include "app/ErrorDisplay.h"
#include "app/LongFileName.h"
#include "app/WindowFont.h"
#include "app/WindowLayout.h"
#include "device/link/DeviceLink.h"
#include "device/serial/ComPort.h"

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

TForm1::TForm1(Dialogs& dialogs, TForm1Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      options_(std::move(options)),
      comPort_(std::make_unique<TComPort>()) {
  setObjectName(QStringLiteral("Form1"));
  setFont(WindowFont());
  setFixedSize(369, 204);
  CreateControls();
  link_ = std::make_unique<TDeviceLink>(*comPort_, static_cast<LinkUi&>(*this), options_.Timing);
  // The port list fills itself from the system when the window is made; an
  // error there ends the start-up.
  ComComboBox1->Bind(comPort_.get(), true);
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  Label1 = MakeLabel(QStringLiteral("COM port"), 16, 8, this);
  ComComboBox1 = new TComComboBox(this);
  ComComboBox1->setGeometry(16, 24, 129, 21);
  Button9 = MakeButton(QStringLiteral("Connect"), {16, 56, 73, 25}, this);
  Button7 = MakeButton(QStringLiteral("Session Editor"), {16, 104, 129, 25}, this);
  Button8 = MakeButton(QStringLiteral("Session Library Compiler"), {16, 144, 129, 25}, this);

  Label2 = MakeLabel(QStringLiteral("Session Library"), 224, 8, this);
  Edit1 = new QLineEdit(this);
  Edit1->setGeometry(224, 24, 129, 21);
  Button5 = MakeButton(QStringLiteral("Select"), {224, 56, 49, 25}, this);
  Button6 = MakeButton(QStringLiteral("Upload"), {280, 56, 73, 25}, this);
  Button6->setEnabled(false);

  Label3 = MakeLabel(QStringLiteral("Single Session"), 224, 96, this);
  Edit2 = new QLineEdit(this);
  Edit2->setGeometry(224, 112, 129, 21);
  Button1 = MakeButton(QStringLiteral("Select"), {224, 144, 49, 25}, this);
  Button11 = MakeButton(QStringLiteral("Upload/Add"), {280, 144, 73, 25}, this);
  Button11->setEnabled(false);

  StatusBar1 = new QWidget(this);
  StatusBar1->setGeometry(0, 185, 369, 19);
  panels_[0] = MakePanel({0, 0, 280, 19}, StatusBar1);
  panels_[0]->setText(QStringLiteral("Click on the Connect button first"));
  panels_[1] = MakePanel({282, 0, 87, 19}, StatusBar1);
  panels_[1]->setText(linktext::kNotConnected);
  ProgressBar1 = new QProgressBar(StatusBar1);
  ProgressBar1->setGeometry(282, 1, 86, 17);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();

  QWidget* const tabOrder[] = {ComComboBox1, Edit1,   Button5,  Button6, Button7,
                               Button8,      Button9, Button11, Edit2,   Button1};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i)
    QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

  auto on = [this](QPushButton* button, void (TForm1::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { Guard([&] { (this->*handler)(); }); });
  };
  on(Button5, &TForm1::Button5Click);
  on(Button1, &TForm1::Button1Click);
  on(Button7, &TForm1::Button7Click);
  on(Button8, &TForm1::Button8Click);
  on(Button9, &TForm1::Button9Click);
  on(Button6, &TForm1::Button6Click);
  on(Button11, &TForm1::Button11Click);
  ComComboBox1->OnDropDown = [this] { Guard([this] { ComComboBox1DropDown(); }); };
  ComComboBox1->Guard = [this](const std::function<void()>& apply) { Guard(apply); };
}

void TForm1::Guard(const std::function<void()>& handler) {
  RunGuarded(dialogs_, handler);
}

QString TForm1::PanelText(int panel) const {
  return panels_[panel]->text();
}

void TForm1::FormCreate() {
  const QString program = options_.ProgramFile.isEmpty() ? QCoreApplication::applicationFilePath()
                                                         : options_.ProgramFile;
  const QString longName = LongFileName(program);
  QString folder;
  if (!longName.isEmpty()) {
    folder = QFileInfo(longName).path();
    QDir::setCurrent(folder);  // a failure leaves the current directory as it is
    if (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  }
  Folders.ProgramFolder = folder;
  Folders.SessionsFolder = folder + QStringLiteral("/Sessions");
  Folders.LibrariesFolder = folder + QStringLiteral("/Libraries");
  setWindowTitle(kProductCaption);
}

void TForm1::ShowMainForm() {
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

void TForm1::SetEditorWindows(QWidget* editor, QWidget* compiler) {
  editor_ = editor;
  compiler_ = compiler;
}

void TForm1::SetCanCloseApplication(std::function<bool()> canClose) {
  canClose_ = std::move(canClose);
}

std::optional<QString> TForm1::SelectFile(const QString& filter, const QString& folder,
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

void TForm1::Button5Click() {
  const std::optional<QString> path =
      SelectFile(kLibraryFilter, Folders.LibrariesFolder, QStringLiteral(".svl"),
                 QStringLiteral("Unsupported session library file format"));
  if (!path) return;
  Folders.SelectedLibraryPath = *path;
  Edit1->setText(QFileInfo(*path).fileName());
  Folders.LibrariesFolder = FolderWithSeparator(*path);
}

void TForm1::Button1Click() {
  const std::optional<QString> path =
      SelectFile(kSessionFilter, Folders.SessionsFolder, QStringLiteral(".svs"),
                 QStringLiteral("Unsupported session file format"));
  if (!path) return;
  Folders.SelectedSessionPath = *path;
  Edit2->setText(QFileInfo(*path).fileName());
  Folders.SessionsFolder = FolderWithSeparator(*path);
}

void TForm1::Button7Click() {
  if (!editor_) return;
  if (editor_->isMinimized()) editor_->showNormal();
  editor_->show();
  editor_->raise();
  editor_->activateWindow();
}

void TForm1::Button8Click() {
  if (!compiler_) return;
  if (compiler_->isMinimized()) compiler_->showNormal();
  compiler_->show();
  compiler_->raise();
  compiler_->activateWindow();
}

QString TForm1::PathFromEdit(QString& selectedPath, const QString& folder, const QString& text) {
  if (QFileInfo(selectedPath).fileName() != text) selectedPath = JoinPath(folder, text);
  return selectedPath;
}

void TForm1::Button9Click() {
  SetStatusText(0, QStringLiteral("Autodetecting Sorvani..."));
  if (link_->Connect()) {
    SetStatusText(1, QStringLiteral("Connected"));
    SetStatusText(0, QStringLiteral("Sorvani successfully detected"));
    deviceFound_ = true;
    UpdateDeviceButtons();
  } else {
    SetStatusText(0, QStringLiteral("Autodetection of Sorvani failed"));
  }
}

void TForm1::Button6Click() {
  const QString path =
      PathFromEdit(Folders.SelectedLibraryPath, Folders.LibrariesFolder, Edit1->text());
  SetStatusText(0, QStringLiteral("Uploading Sorvani session library"));
  const bool uploaded = link_->UploadSesLib(path);
  SetStatusText(0, uploaded ? QStringLiteral("Sorvani session library uploaded successfully")
                            : QStringLiteral("Sorvani session library upload failed"));
}

void TForm1::Button11Click() {
  const QString path =
      PathFromEdit(Folders.SelectedSessionPath, Folders.SessionsFolder, Edit2->text());
  if (!QFileInfo(path).isFile()) {
    dialogs_.error(linktext::kSesFileNotFound);
    return;
  }
  SetStatusText(0, QStringLiteral("Uploading/adding single session to Sorvani"));
  const bool uploaded = link_->UploadOneSession(path);
  SetStatusText(0, uploaded ? QStringLiteral("Single session uploaded to Sorvani successfully")
                            : QStringLiteral("Single session upload to Sorvani failed"));
}

void TForm1::ComComboBox1DropDown() {
  const QString remembered = ComComboBox1->Text();
  QStringList ports;
  ListComPorts(ports);  // on an error the entries keep their old contents
  ComComboBox1->SetItems(ports);
  ComComboBox1->SetText(remembered);
  if (ComComboBox1->Text().isEmpty() && ComComboBox1->count() > 0) ComComboBox1->SetItemIndex(0);
}

void TForm1::FormCloseQuery(bool& CanClose) {
  // A device operation must finish first: its waits run inside this event
  // loop, which would end under it.
  if (busy_ || (canClose_ && !canClose_())) {
    CanClose = false;
    return;
  }
  comPort_->Close();
  CanClose = true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool canClose = false;
  Guard([&] { FormCloseQuery(canClose); });
  if (!canClose) {
    event->ignore();
    return;
  }
  event->accept();
  emit MainFormClosed();
}

void TForm1::UpdateDeviceButtons() {
  Button9->setEnabled(!busy_);
  Button6->setEnabled(!busy_ && deviceFound_);
  Button11->setEnabled(!busy_ && deviceFound_);
  // Picking a port mid-operation would move the open port under it.
  ComComboBox1->setEnabled(!busy_);
}

void TForm1::SetStatusText(int panel, const QString& text) {
  if (panel == 0 || panel == 1) panels_[panel]->setText(text);
}

void TForm1::ShowMessage(const QString& text, LinkIcon icon, const QString& detail) {
  dialogs_.message({kAppTitle, text, icon == LinkIcon::Error ? MsgIcon::Error : MsgIcon::None,
                    MsgButtons::Ok, detail});
}

void TForm1::PortsListed(const QStringList& ports) {
  ComComboBox1->SetItems(ports);
}

void TForm1::ProbingPort(int index) {
  ComComboBox1->SetItemIndex(index);
}

void TForm1::Progress(const LinkProgress& progress) {
  if (progress.Count <= 0) {
    ProgressBar1->hide();
    panels_[1]->show();
    return;
  }
  ProgressBar1->setRange(0, progress.Count);
  ProgressBar1->setValue(progress.Step);
  panels_[1]->hide();
  ProgressBar1->show();
}

void TForm1::BusyChanged(bool busy) {
  busy_ = busy;
  if (busy) focusBeforeBusy_ = focusWidget();
  if (!busy) Progress({});
  UpdateDeviceButtons();
  // The pressed button keeps the focus once it is enabled again.
  if (!busy && focusBeforeBusy_ && focusBeforeBusy_->isEnabled()) focusBeforeBusy_->setFocus();
}

}  // namespace ovrel
