#pragma once
// The library compiler window: session files of a folder are gathered into
// the library list, the gauge shows how much of the device's session memory
// stays free, and "Compile && Save" writes the library file.

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "app/Dialogs.h"
#include "app/FolderSettings.h"
#include "library/LibraryList.h"
#include "library/TFileListBox.h"

namespace ovrel {

class TForm3 : public QWidget {
  Q_OBJECT
 public:
  // settings: the main window's folder settings; the sessions folder is read
  // at creation, the libraries folder at each compile and written back.
  TForm3(FolderSettings& settings, Dialogs& dialogs, QWidget* parent = nullptr);

  TFileListBox* FileListBox1 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QPushButton* Button8 = nullptr;   // Add ->
  QPushButton* Button9 = nullptr;   // Insert ->
  QPushButton* Button10 = nullptr;  // Remove
  QPushButton* Button3 = nullptr;   // Clear
  QPushButton* Button1 = nullptr;   // Compile && Save
  QPushButton* Button2 = nullptr;   // Select
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label1 = nullptr;  // "Sessions Folder"
  QLabel* Label2 = nullptr;  // "Sessions in the Library"
  QLabel* Label5 = nullptr;  // "Available memory: P%"

  // The library list behind ListBox1.
  const LibraryList& SesLibList() const { return list_; }

  void FormCreate();
  void FormActivate();
  void Button2Click();
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void Button3Click();
  void Button1Click();

 protected:
  bool event(QEvent* e) override;

 private:
  void CreateControls();
  // Selected row of ListBox1, or nothing.
  std::optional<int> SelectedEntry() const;
  std::optional<std::string> SelectedFile() const;
  // Shows the error of a refused change; on success shows the new budget.
  bool Report(const LibraryList::Result& result);
  // Gauge and label from the list's last successful budget check.
  void RefreshAvailSesMem();

  FolderSettings& settings_;
  Dialogs& dialogs_;
  LibraryList list_;
};

}  // namespace ovrel
