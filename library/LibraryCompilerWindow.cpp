#include "library/LibraryCompilerWindow.h"

#include "ui/ErrorDisplay.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <exception>

#include "ui/WindowLayout.h"
#include "library/LibraryCompiler.h"

namespace ovrel {

namespace {

const QString kLibraryFilter = QStringLiteral("Sorvani Pro session library(*.svl)|*.svl");
const QString kSelectFolderCaption = QStringLiteral("Select the sessions folder");

}  // namespace

LibraryCompilerWindow::LibraryCompilerWindow(FolderSettings& settings, Dialogs& dialogs,
                                             QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings),
      dialogs_(dialogs, this) {
  setObjectName(QStringLiteral("libraryCompilerWindow"));
  setFixedSize(519, 262);
  CreateControls();
  FormCreate();
}

void LibraryCompilerWindow::CreateControls() {
  // The file list is made first: it heads the tab order and has the focus
  // when the window opens.
  sessionFileList = new FileListBox(this);
  sessionFileList->setGeometry(16, 32, 145, 201);
  sessionsFolderLabel = MakeLabel(QStringLiteral("Sessions Folder"), 16, 16, this);
  selectFolderButton = MakeButton(QStringLiteral("Select"), {96, 14, 57, 17}, this);

  addButton = MakeButton(QStringLiteral("Add ->"), {176, 72, 57, 25}, this);
  insertButton = MakeButton(QStringLiteral("Insert ->"), {176, 112, 57, 25}, this);
  removeButton = MakeButton(QStringLiteral("Remove"), {176, 152, 57, 25}, this);
  clearButton = MakeButton(QStringLiteral("Clear"), {176, 208, 57, 25}, this);

  librarySessionsLabel = MakeLabel(QStringLiteral("Sessions in the Library"), 248, 16, this);
  libraryList = new QListWidget(this);
  libraryList->setGeometry(248, 32, 121, 201);
  libraryList->setSelectionMode(QAbstractItemView::SingleSelection);

  availableMemoryLabel = new QLabel(this);
  availableMemoryLabel->setGeometry(383, 56, width() - 383, sessionsFolderLabel->height());
  memoryGauge = new QProgressBar(this);
  memoryGauge->setGeometry(384, 72, 121, 17);
  memoryGauge->setRange(0, 100);
  memoryGauge->setTextVisible(false);
  RefreshAvailSesMem();

  // "&&" shows as one ampersand.
  compileButton = MakeButton(QStringLiteral("Compile && Save"), {384, 152, 121, 25}, this);

  QWidget* const tabOrder[] = {sessionFileList, libraryList,        addButton,
                               insertButton,    removeButton,       memoryGauge,
                               compileButton,   selectFolderButton, clearButton};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i)
    QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

  auto on = [this](QPushButton* button, void (LibraryCompilerWindow::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { Guarded(handler); });
  };
  // A double-click on a session file adds it, as Add does.
  connect(sessionFileList, &QListWidget::itemDoubleClicked, this,
          [this] { Guarded(&LibraryCompilerWindow::onAddClicked); });
  on(selectFolderButton, &LibraryCompilerWindow::onSelectFolderClicked);
  on(addButton, &LibraryCompilerWindow::onAddClicked);
  on(insertButton, &LibraryCompilerWindow::onInsertClicked);
  on(removeButton, &LibraryCompilerWindow::onRemoveClicked);
  on(clearButton, &LibraryCompilerWindow::onClearClicked);
  on(compileButton, &LibraryCompilerWindow::onCompileClicked);
}

void LibraryCompilerWindow::Guarded(void (LibraryCompilerWindow::*handler)()) {
  // Errors that no handler expects end the command with the program's
  // error display.
  RunGuarded(dialogs_, [&] { (this->*handler)(); });
}

void LibraryCompilerWindow::FormCreate() {
  setWindowTitle(QStringLiteral("Sorvani Ovrelware 1.5 - Session Library Compiler"));
  sessionFileList->SetMask(QStringLiteral("*.svs"));
  ShowFolder(settings_.SessionsFolder);
  sessionFileList->setFocus();
}

void LibraryCompilerWindow::ShowFolder(const QString& folder) {
  sessionFileList->SetDirectory(folder);
  // The folder's path is too long for the window; its label and the list
  // show it when the pointer rests on them.
  const QString path = QDir::toNativeSeparators(folder);
  sessionFileList->setToolTip(path);
  sessionsFolderLabel->setToolTip(path);
}

void LibraryCompilerWindow::FormActivate() {
  sessionFileList->Update();
}

bool LibraryCompilerWindow::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QWidget::event(e);
}

void LibraryCompilerWindow::onSelectFolderClicked() {
  // The chosen folder is shown here only; the main window's sessions folder
  // stays as it is.
  if (const auto folder =
          dialogs_.browseFolder({kSelectFolderCaption, settings_.ProgramFolder, nullptr}))
    ShowFolder(*folder);
}

std::optional<int> LibraryCompilerWindow::SelectedEntry() const {
  const QList<QListWidgetItem*> selected = libraryList->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return libraryList->row(selected.front());
}

std::optional<std::string> LibraryCompilerWindow::SelectedFile() const {
  if (const auto path = sessionFileList->FileName()) return path->toStdString();
  return std::nullopt;
}

bool LibraryCompilerWindow::Report(const LibraryList::Result& result) {
  if (!result.Message.empty()) dialogs_.error(QString::fromStdString(result.Message));
  if (result.Ok()) RefreshAvailSesMem();
  return result.Ok();
}

void LibraryCompilerWindow::onAddClicked() {
  if (Report(list_.Add(SelectedFile()))) {
    libraryList->addItem(QString::fromStdString(list_.DisplayName(list_.Count() - 1)));
    libraryList->scrollToItem(libraryList->item(libraryList->count() - 1));
  }
}

void LibraryCompilerWindow::onInsertClicked() {
  const std::optional<int> index = SelectedEntry();
  if (Report(list_.Insert(SelectedFile(), index))) {
    libraryList->insertItem(*index, QString::fromStdString(list_.DisplayName(*index)));
    libraryList->scrollToItem(libraryList->item(*index));
  }
}

void LibraryCompilerWindow::onRemoveClicked() {
  const std::optional<int> index = SelectedEntry();
  if (!Report(list_.Remove(index))) return;
  delete libraryList->takeItem(*index);
  libraryList->setCurrentRow(-1);
}

void LibraryCompilerWindow::onClearClicked() {
  list_.Clear();
  libraryList->clear();
  RefreshAvailSesMem();
}

void LibraryCompilerWindow::onCompileClicked() {
  // Every session file is read before the dialog opens, so a file that
  // fails leaves nothing written.
  const CompiledLibrary compiled = CompileSesLib(list_.Entries());
  if (!compiled) {
    dialogs_.error(QString::fromStdString(compiled.Error));
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
  if (const auto error = WriteLibraryFile(path->toStdString(), compiled.Image))
    dialogs_.error(QString::fromStdString(*error));
}

void LibraryCompilerWindow::RefreshAvailSesMem() {
  memoryGauge->setValue(list_.AvailPercent());
  availableMemoryLabel->setText(QString::fromStdString(list_.AvailMemLabel()));
}

}  // namespace ovrel
