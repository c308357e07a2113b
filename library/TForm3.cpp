#include "library/TForm3.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <exception>

#include "app/WindowLayout.h"
#include "library/LibraryCompiler.h"

namespace ovrel {

namespace {

const QString kLibraryFilter = QStringLiteral("Sorvani Pro session library(*.svl)|*.svl");

}  // namespace

TForm3::TForm3(FolderSettings& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("Form3"));
  setFixedSize(519, 262);
  CreateControls();
  FormCreate();
}

void TForm3::CreateControls() {
  Label1 = MakeLabel(QStringLiteral("Sessions Folder"), 16, 16, this);
  Button2 = MakeButton(QStringLiteral("Select"), {96, 14, 57, 17}, this);
  FileListBox1 = new TFileListBox(this);
  FileListBox1->setGeometry(16, 32, 145, 201);

  Button8 = MakeButton(QStringLiteral("Add ->"), {176, 72, 57, 25}, this);
  Button9 = MakeButton(QStringLiteral("Insert ->"), {176, 112, 57, 25}, this);
  Button10 = MakeButton(QStringLiteral("Remove"), {176, 152, 57, 25}, this);
  Button3 = MakeButton(QStringLiteral("Clear"), {176, 208, 57, 25}, this);

  Label2 = MakeLabel(QStringLiteral("Sessions in the Library"), 248, 16, this);
  ListBox1 = new QListWidget(this);
  ListBox1->setGeometry(248, 32, 121, 201);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

  Label5 = new QLabel(this);
  Label5->setGeometry(383, 56, width() - 383, Label1->height());
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setGeometry(384, 72, 121, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  RefreshAvailSesMem();

  // "&&" shows as one ampersand.
  Button1 = MakeButton(QStringLiteral("Compile && Save"), {384, 152, 121, 25}, this);

  QWidget* const tabOrder[] = {FileListBox1, ListBox1, Button8, Button9, Button10,
                               ProgressBar1, Button1,  Button2, Button3};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i)
    QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

  auto on = [this](QPushButton* button, void (TForm3::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] {
      // Errors that no handler expects end the command with a message.
      try {
        (this->*handler)();
      } catch (const std::exception& e) {
        dialogs_.error(QString::fromStdString(e.what()));
      }
    });
  };
  on(Button2, &TForm3::Button2Click);
  on(Button8, &TForm3::Button8Click);
  on(Button9, &TForm3::Button9Click);
  on(Button10, &TForm3::Button10Click);
  on(Button3, &TForm3::Button3Click);
  on(Button1, &TForm3::Button1Click);
}

void TForm3::FormCreate() {
  setWindowTitle(QStringLiteral("Sorvani Ovrelware 1.5 - Session Library Compiler"));
  FileListBox1->SetMask(QStringLiteral("*.svs"));
  FileListBox1->SetDirectory(settings_.SessionsFolder);
}

void TForm3::FormActivate() {
  FileListBox1->Update();
}

bool TForm3::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QWidget::event(e);
}

void TForm3::Button2Click() {
  // The chosen folder is shown here only; the main window's sessions folder
  // stays as it is.
  if (const auto folder = dialogs_.browseFolder(QString(), settings_.ProgramFolder))
    FileListBox1->SetDirectory(*folder);
}

std::optional<int> TForm3::SelectedEntry() const {
  const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return ListBox1->row(selected.front());
}

std::optional<std::string> TForm3::SelectedFile() const {
  if (const auto path = FileListBox1->FileName()) return path->toStdString();
  return std::nullopt;
}

bool TForm3::Report(const LibraryList::Result& result) {
  if (!result.message.empty()) dialogs_.error(QString::fromStdString(result.message));
  if (result.ok()) RefreshAvailSesMem();
  return result.ok();
}

void TForm3::Button8Click() {
  if (Report(list_.Add(SelectedFile())))
    ListBox1->addItem(QString::fromStdString(list_.DisplayName(list_.Count() - 1)));
}

void TForm3::Button9Click() {
  const std::optional<int> index = SelectedEntry();
  if (Report(list_.Insert(SelectedFile(), index)))
    ListBox1->insertItem(*index, QString::fromStdString(list_.DisplayName(*index)));
}

void TForm3::Button10Click() {
  const std::optional<int> index = SelectedEntry();
  if (!Report(list_.Remove(index))) return;
  delete ListBox1->takeItem(*index);
  ListBox1->setCurrentRow(-1);
}

void TForm3::Button3Click() {
  list_.Clear();
  ListBox1->clear();
  RefreshAvailSesMem();
}

void TForm3::Button1Click() {
  // Every session file is read before the dialog opens, so a file that
  // fails leaves nothing written.
  std::vector<std::uint8_t> image;
  try {
    image = CompileSesLib(list_.Entries());
  } catch (const LibraryError& e) {
    dialogs_.error(QString::fromStdString(e.what()));
    return;
  }
  FileDialogRequest request;
  request.filter = kLibraryFilter;
  request.defaultExt = QStringLiteral("svl");
  request.initialDir = settings_.LibrariesFolder;  // and no file name
  const std::optional<QString> path = dialogs_.saveFile(request);
  if (!path) return;
  QString folder = QFileInfo(*path).path();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  settings_.LibrariesFolder = folder;
  try {
    WriteLibraryFile(path->toStdString(), image);
  } catch (const LibraryError& e) {
    dialogs_.error(QString::fromStdString(e.what()));
  }
}

void TForm3::RefreshAvailSesMem() {
  ProgressBar1->setValue(list_.AvailPercent());
  Label5->setText(QString::fromStdString(list_.AvailMemLabel()));
}

}  // namespace ovrel
