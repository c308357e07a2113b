#include "compiler/LibraryCompilerWindow.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <exception>
#include <utility>

#include "ProductInfo.h"
#include "library/LibraryCompiler.h"
#include "ui/ErrorDisplay.h"
#include "ui/WindowLayout.h"

namespace ovrel {

namespace {

const QString kLibraryFilter = QStringLiteral("Sorvani Pro session library(*.svl)|*.svl");
const QString kSelectFolderCaption = QStringLiteral("Select the sessions folder");

}  // namespace

LibraryCompilerWindow::LibraryCompilerWindow(FolderSettings& folders, Dialogs& dialogs,
                                             QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      folders_(folders),
      dialogs_(dialogs, this) {
  setObjectName(QStringLiteral("libraryCompilerWindow"));
  setFixedSize(519, 262);
  CreateControls();
  setWindowTitle(QLatin1String(kProductTitle) + QStringLiteral(" - Session Library Compiler"));
  sessionFileList_->SetMask(QStringLiteral("*.svs"));
  ShowFolder(folders_.SessionsFolder());
  sessionFileList_->setFocus();
  userSettings_.RestoreGeometry(*this);  // where it was in the last run
}

void LibraryCompilerWindow::CreateControls() {
  // The file list is made first: it heads the tab order and has the focus
  // when the window opens.
  sessionFileList_ = new FileListBox(this);
  sessionFileList_->setGeometry(16, 32, 145, 201);
  sessionsFolderLabel_ = MakeLabel(QStringLiteral("Sessions Folder"), 16, 16, this);
  selectFolderButton_ = MakeButton(QStringLiteral("Select"), {96, 14, 57, 17}, this);

  addButton_ = MakeButton(QStringLiteral("Add ->"), {176, 72, 57, 25}, this);
  insertButton_ = MakeButton(QStringLiteral("Insert ->"), {176, 112, 57, 25}, this);
  removeButton_ = MakeButton(QStringLiteral("Remove"), {176, 152, 57, 25}, this);
  clearButton_ = MakeButton(QStringLiteral("Clear"), {176, 208, 57, 25}, this);

  librarySessionsLabel_ = MakeLabel(QStringLiteral("Sessions in the Library"), 248, 16, this);
  libraryList_ = new QListWidget(this);
  libraryList_->setGeometry(248, 32, 121, 201);
  libraryList_->setSelectionMode(QAbstractItemView::SingleSelection);

  availableMemoryLabel_ = new QLabel(this);
  availableMemoryLabel_->setGeometry(383, 56, width() - 383, sessionsFolderLabel_->height());
  memoryGauge_ = new QProgressBar(this);
  memoryGauge_->setGeometry(384, 72, 121, 17);
  memoryGauge_->setRange(0, 100);
  memoryGauge_->setTextVisible(false);
  ShowAvailableMemory();

  // "&&" shows as one ampersand.
  compileButton_ = MakeButton(QStringLiteral("Compile && Save"), {384, 152, 121, 25}, this);

  // What a screen reader says for the controls whose text does not say it.
  sessionFileList_->setAccessibleName(QStringLiteral("Session files in the sessions folder"));
  libraryList_->setAccessibleName(QStringLiteral("Sessions in the library"));
  selectFolderButton_->setAccessibleName(QStringLiteral("Select the sessions folder"));
  memoryGauge_->setAccessibleName(QStringLiteral("Session memory used"));

  // Named for their role, so that they can be found by name.
  const std::pair<QWidget*, const char*> named[] = {
      {sessionFileList_, "sessionFileList"},
      {libraryList_, "libraryList"},
      {addButton_, "addButton"},
      {insertButton_, "insertButton"},
      {removeButton_, "removeButton"},
      {clearButton_, "clearButton"},
      {compileButton_, "compileButton"},
      {selectFolderButton_, "selectFolderButton"},
      {memoryGauge_, "memoryGauge"},
      {sessionsFolderLabel_, "sessionsFolderLabel"},
      {librarySessionsLabel_, "librarySessionsLabel"},
      {availableMemoryLabel_, "availableMemoryLabel"}};
  for (const auto& [control, name] : named) control->setObjectName(QLatin1String(name));

  QWidget* const tabOrder[] = {sessionFileList_, libraryList_,        addButton_,
                               insertButton_,    removeButton_,       memoryGauge_,
                               compileButton_,   selectFolderButton_, clearButton_};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i)
    QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

  auto on = [this](QPushButton* button, void (LibraryCompilerWindow::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { Guarded(handler); });
  };
  // A double-click on a session file adds it, as Add does.
  connect(sessionFileList_, &QListWidget::itemDoubleClicked, this,
          [this] { Guarded(&LibraryCompilerWindow::onAddClicked); });
  on(selectFolderButton_, &LibraryCompilerWindow::onSelectFolderClicked);
  on(addButton_, &LibraryCompilerWindow::onAddClicked);
  on(insertButton_, &LibraryCompilerWindow::onInsertClicked);
  on(removeButton_, &LibraryCompilerWindow::onRemoveClicked);
  on(clearButton_, &LibraryCompilerWindow::onClearClicked);
  on(compileButton_, &LibraryCompilerWindow::onCompileClicked);
}

void LibraryCompilerWindow::Guarded(void (LibraryCompilerWindow::*handler)()) {
  // Errors that no handler expects end the command with the program's
  // error display.
  RunGuarded(dialogs_, [&] { (this->*handler)(); });
}

void LibraryCompilerWindow::ShowFolder(const QString& folder) {
  sessionFileList_->SetDirectory(folder);
  // The folder's path is too long for the window; its label and the list
  // show it when the pointer rests on them.
  const QString path = QDir::toNativeSeparators(folder);
  sessionFileList_->setToolTip(path);
  sessionsFolderLabel_->setToolTip(path);
}

void LibraryCompilerWindow::RefreshFileList() {
  sessionFileList_->Update();
}

bool LibraryCompilerWindow::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) RefreshFileList();
  if (e->type() == QEvent::Hide && !e->spontaneous()) userSettings_.SaveGeometry(*this);
  return QWidget::event(e);
}

void LibraryCompilerWindow::onSelectFolderClicked() {
  // The chosen folder is shown here only; the main window's sessions folder
  // stays as it is.
  if (const auto folder =
          dialogs_.BrowseFolder({kSelectFolderCaption, folders_.ProgramFolder(), nullptr}))
    ShowFolder(*folder);
}

std::optional<int> LibraryCompilerWindow::SelectedEntry() const {
  const QList<QListWidgetItem*> selected = libraryList_->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return libraryList_->row(selected.front());
}

std::optional<std::string> LibraryCompilerWindow::SelectedFile() const {
  if (const auto path = sessionFileList_->FileName()) return path->toStdString();
  return std::nullopt;
}

bool LibraryCompilerWindow::Report(const LibraryList::Result& result) {
  if (!result.Message.empty()) dialogs_.ShowError(QString::fromStdString(result.Message));
  if (result.Ok()) ShowAvailableMemory();
  return result.Ok();
}

void LibraryCompilerWindow::onAddClicked() {
  if (Report(list_.Add(SelectedFile()))) {
    libraryList_->addItem(QString::fromStdString(list_.DisplayName(list_.Count() - 1)));
    libraryList_->scrollToItem(libraryList_->item(libraryList_->count() - 1));
  }
}

void LibraryCompilerWindow::onInsertClicked() {
  const std::optional<int> index = SelectedEntry();
  if (Report(list_.Insert(SelectedFile(), index))) {
    libraryList_->insertItem(*index, QString::fromStdString(list_.DisplayName(*index)));
    libraryList_->scrollToItem(libraryList_->item(*index));
  }
}

void LibraryCompilerWindow::onRemoveClicked() {
  const std::optional<int> index = SelectedEntry();
  if (!Report(list_.Remove(index))) return;
  delete libraryList_->takeItem(*index);
  libraryList_->setCurrentRow(-1);
}

void LibraryCompilerWindow::onClearClicked() {
  list_.Clear();
  libraryList_->clear();
  ShowAvailableMemory();
}

void LibraryCompilerWindow::onCompileClicked() {
  // Every session file is read before the dialog opens, so a file that
  // fails leaves nothing written.
  const CompiledLibrary compiled = CompileSesLib(list_.Entries());
  if (!compiled) {
    dialogs_.ShowError(QString::fromStdString(compiled.Error()));
    return;
  }
  // Said before the library is saved; it is compiled all the same.
  if (!compiled->Warnings.empty()) {
    QStringList warnings;
    for (const std::string& warning : compiled->Warnings)
      warnings << QString::fromStdString(warning);
    dialogs_.Message(
        {kAppTitle, warnings.join(QLatin1Char('\n')), MsgIcon::Warning, MsgButtons::Ok, {}});
  }
  FileDialogRequest request;
  request.Filter = kLibraryFilter;
  request.DefaultExt = QStringLiteral("svl");
  request.InitialDir = folders_.LibrariesFolder();  // and no file name
  const std::optional<QString> path = dialogs_.SaveFile(request);
  if (!path) return;
  QString folder = QFileInfo(*path).path();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  folders_.SetLibrariesFolder(folder);
  userSettings_.SetLibrariesFolder(folder);
  if (const auto error = WriteLibraryFile(path->toStdString(), compiled->Image))
    dialogs_.ShowError(QString::fromStdString(*error));
}

void LibraryCompilerWindow::ShowAvailableMemory() {
  memoryGauge_->setValue(list_.AvailPercent());
  availableMemoryLabel_->setText(QString::fromStdString(list_.AvailMemLabel()));
}

}  // namespace ovrel
