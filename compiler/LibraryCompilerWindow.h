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
#include "ui/UserSettings.h"
#include "compiler/FileListBox.h"
#include "library/LibraryList.h"

namespace ovrel {

class LibraryCompilerWindow : public QWidget {
  Q_OBJECT
 public:
  // folders: the program's folder settings; the sessions folder is read at
  // creation, the libraries folder at each compile and moved to the folder
  // the library was saved in.
  LibraryCompilerWindow(FolderSettings& folders, Dialogs& dialogs, QWidget* parent = nullptr);

  // The library list behind the "Sessions in the Library" list.
  const LibraryList& SesLibList() const { return list_; }

 protected:
  bool event(QEvent* e) override;

 private:
  void CreateControls();
  // Reads the sessions folder again (each time the window becomes active).
  void RefreshFileList();
  void onSelectFolderClicked();
  void onAddClicked();
  void onInsertClicked();
  void onRemoveClicked();
  void onClearClicked();
  void onCompileClicked();
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
  void ShowAvailableMemory();

  FolderSettings& folders_;
  UserSettings userSettings_;
  WindowDialogs dialogs_;
  LibraryList list_;
  FileListBox* sessionFileList_ = nullptr;
  QListWidget* libraryList_ = nullptr;
  QPushButton* addButton_ = nullptr;           // Add ->
  QPushButton* insertButton_ = nullptr;        // Insert ->
  QPushButton* removeButton_ = nullptr;        // Remove
  QPushButton* clearButton_ = nullptr;         // Clear
  QPushButton* compileButton_ = nullptr;       // Compile && Save
  QPushButton* selectFolderButton_ = nullptr;  // Select
  QProgressBar* memoryGauge_ = nullptr;
  QLabel* sessionsFolderLabel_ = nullptr;   // "Sessions Folder"
  QLabel* librarySessionsLabel_ = nullptr;  // "Sessions in the Library"
  QLabel* availableMemoryLabel_ = nullptr;  // "Available memory: P%"
};

}  // namespace ovrel
