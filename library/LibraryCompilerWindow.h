#pragma once
// The library compiler window: session files of a folder are gathered into
// the library list, the gauge shows how much of the device's session memory
// stays free, and "Compile && Save" writes the library file.

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "ui/Dialogs.h"
#include "ui/FolderSettings.h"
#include "library/FileListBox.h"
#include "library/LibraryList.h"

namespace ovrel {

class LibraryCompilerWindow : public QWidget {
  Q_OBJECT
 public:
  // settings: the main window's folder settings; the sessions folder is read
  // at creation, the libraries folder at each compile and written back.
  LibraryCompilerWindow(FolderSettings& settings, Dialogs& dialogs, QWidget* parent = nullptr);

  FileListBox* sessionFileList = nullptr;
  QListWidget* libraryList = nullptr;
  QPushButton* addButton = nullptr;           // Add ->
  QPushButton* insertButton = nullptr;        // Insert ->
  QPushButton* removeButton = nullptr;        // Remove
  QPushButton* clearButton = nullptr;         // Clear
  QPushButton* compileButton = nullptr;       // Compile && Save
  QPushButton* selectFolderButton = nullptr;  // Select
  QProgressBar* memoryGauge = nullptr;
  QLabel* sessionsFolderLabel = nullptr;   // "Sessions Folder"
  QLabel* librarySessionsLabel = nullptr;  // "Sessions in the Library"
  QLabel* availableMemoryLabel = nullptr;  // "Available memory: P%"

  // The library list behind libraryList.
  const LibraryList& SesLibList() const { return list_; }

  void FormCreate();
  void FormActivate();
  void onSelectFolderClicked();
  void onAddClicked();
  void onInsertClicked();
  void onRemoveClicked();
  void onClearClicked();
  void onCompileClicked();

 protected:
  bool event(QEvent* e) override;

 private:
  void CreateControls();
  // Runs a button's handler; an unexpected error ends it with a message.
  void Guarded(void (LibraryCompilerWindow::*handler)());
  // Points the file list at folder and names the folder in its tooltip.
  void ShowFolder(const QString& folder);
  // Selected row of libraryList, or nothing.
  std::optional<int> SelectedEntry() const;
  std::optional<std::string> SelectedFile() const;
  // Shows the error of a refused change; on success shows the new budget.
  bool Report(const LibraryList::Result& result);
  // Gauge and label from the list's last successful budget check.
  void RefreshAvailSesMem();

  FolderSettings& settings_;
  WindowDialogs dialogs_;
  LibraryList list_;
};

}  // namespace ovrel
