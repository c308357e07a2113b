#pragma once
// The main window: the control panel of the program. It owns the folder
// settings that the other windows use and starts the device jobs of its
// buttons on the program's device service; its status line follows every
// job of that service, whichever window or client started it.

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/PortComboBox.h"
#include "device/jobs/DeviceService.h"
#include "device/jobs/JobResult.h"
#include "device/link/LinkUi.h"
#include "ui/Dialogs.h"
#include "ui/FolderSettings.h"
#include "ui/UserSettings.h"

namespace ovrel {

class MemoryWindow;

struct MainWindowOptions {
  // Path of the program file; empty: this process's executable.
  QString ProgramFile;
};

inline const QString kCloseWhenIdleText =
    QStringLiteral("The program will close when the device operation has ended.");

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  // device: the program's device service, which outlives the window.
  MainWindow(Dialogs& dialogs, DeviceService& device, MainWindowOptions options = {},
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // The folders and chosen files of the run, set up when the window is made.
  FolderSettings& Folders() { return folders_; }
  const FolderSettings& Folders() const { return folders_; }

  DeviceService& Device() { return device_; }
  DeviceLink& Link() { return device_.Link(); }
  // The program folder of the run: where the add keeps its working files
  // and remote clients put theirs. Empty: the current directory.
  const QString& ProgramFolder() const { return programFolder_; }
  QString PanelText(int panel) const;
  // True while the Memory window writes (from its write to its read-back).
  bool Writing() const;

  // Shows the main window centred on the screen, or brings it forward.
  void ShowInFront();
  // Shows the session editor, or brings it forward (sessionEditorButton).
  void ShowSessionEditor();
  // What sessionEditorButton and libraryCompilerButton show: the session editor and the compiler.
  void SetEditorWindows(QWidget* editor, QWidget* compiler);
  // Asked before the program ends (the editor's unsaved changes); told
  // when the program stays after all, so that the next close asks again.
  void SetCanCloseApplication(std::function<bool()> canClose,
                              std::function<void()> closeRefused = {});
  // Asks about the unsaved work of every window (the editor's, the memory
  // window's); false when the user keeps it and the program stays. A "No"
  // leaves every window's work as it was, also what was answered before it.
  bool MayEndProgram();

  // What the library and the session "Select" do with a chosen file.
  void SelectLibraryFile(const QString& path);
  void SelectSessionFile(const QString& path);

  // Runs handler inside the program's error display.
  void Guard(const std::function<void()>& handler);

  // How a device operation of the window ended, as message boxes and status texts.
  void ShowResult(const JobResult& result);
  // The device's memory was changed by a job of the device service (an
  // upload, an add, a remote request): the memory window follows. what:
  // what happened.
  void DeviceMemoryChanged(const JobResult& result, const QString& what);
  // How a failed remote request ended, in one box that stays open without
  // stopping anything (no loop of its own, so the next request never runs
  // inside it); a message that comes again counts its repeats.
  void ShowRemoteFailure(const JobResult& result);

 signals:
  // The main window closed: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void onSelectLibraryClicked();
  void onSelectSessionClicked();
  void onLibraryCompilerClicked();
  void onConnectClicked();
  void onMemoryClicked();
  void onUploadLibraryClicked();
  void onUploadAddClicked();
  void onPortListDropDown();
  void onFileNameTyped();

 private:
  void SetStatusText(int panel, const QString& text);
  void ShowMessage(const JobMessage& message);
  void Progress(const LinkProgress& progress);
  void BusyChanged(bool busy);
  // A job of the device service ended, started here or elsewhere: the
  // status line says how.
  void JobEnded(const JobResult& result);
  // Listens to the device service.
  void FollowDevice();

  void CreateControls();
  void NameControls();
  void ConnectControls();
  // Finds the program folder from the program file, makes it the current
  // directory and the link's working folder, and sets the folders from it.
  void SetUpProgramFolder();
  // Puts back the port, files and folders of the last run that still exist.
  void RestoreUserSettings();
  // After a failed operation: refreshes the port list when the port is gone.
  void RefreshPortsIfGone();
  // Whether the window may close now; otherwise it may close later, once
  // the running operation has ended.
  bool MayClose();
  // Closes the window once no operation runs or waits and no message is open.
  void CloseWhenIdle();
  void UpdateDeviceButtons();
  // The device answered: connected, and the device buttons enabled.
  void DeviceAnswered();
  // A write an earlier run did not finish: says so and offers the restore.
  void OfferRestoreOfCutOffWrite();
  // When the memory read before an upload could not be kept: asks whether
  // to write all the same. True when the upload may go on.
  bool MayUploadWithoutBackup(const JobResult& read);
  // The options of the window's writes.
  WriteOptions Options();
  // Names the controls for screen readers where their text does not say
  // what they are.
  void NameForScreenReaders();
  // The path an upload uses: the selected one, or the file named in the
  // edit box in the selected folder when the user typed another name.
  static QString PathFromEdit(const QString& selectedPath, const QString& folder,
                              const QString& text);
  std::optional<QString> SelectFile(const QString& filter, const QString& folder,
                                    const QString& extension, const QString& wrongFormatText);

  WindowDialogs dialogs_;
  MainWindowOptions options_;
  FolderSettings folders_;
  UserSettings userSettings_;
  QLabel* portLabel_;
  PortComboBox* portComboBox_;
  QPushButton* connectButton_;
  QPushButton* memoryButton_;  // reads the device memory into the memory window
  QPushButton* sessionEditorButton_;
  QPushButton* libraryCompilerButton_;
  QLabel* libraryLabel_;
  QLineEdit* libraryFileEdit_;
  QPushButton* selectLibraryButton_;
  QPushButton* uploadLibraryButton_;
  QLabel* singleSessionLabel_;
  QLineEdit* sessionFileEdit_;
  QPushButton* selectSessionButton_;
  QPushButton* uploadAddButton_;
  QWidget* statusBar_;
  QProgressBar* progressBar_;  // shown over panel 1 while a device operation runs
  DeviceService& device_;
  QString programFolder_;
  QLabel* panels_[2];
  QWidget* editor_ = nullptr;
  QWidget* compiler_ = nullptr;
  MemoryWindow* memoryWindow_ = nullptr;  // made at the first read
  std::function<bool()> canClose_;
  std::function<void()> closeRefused_;
  bool deviceFound_ = false;
  bool busy_ = false;
  // The user closed the window while an operation ran: it closes after it.
  bool closeWhenIdle_ = false;
  // The control that had the focus when an operation started, disabled or not.
  QPointer<QWidget> focusBeforeBusy_;
  // The box of the remote requests' failures, the message it shows and how
  // many times that message came.
  QPointer<QMessageBox> remoteFailureBox_;
  QString remoteFailureText_;
  int remoteFailureCount_ = 0;
};

}  // namespace ovrel
