#pragma once
// The main window: the control panel of the program. It keeps the folder
// settings that the other windows read, owns the serial port component and
// the device link, and runs the three device operations from its buttons.

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/Dialogs.h"
#include "app/FolderSettings.h"
#include "app/TComComboBox.h"
#include "device/link/LinkTiming.h"
#include "device/link/LinkUi.h"

namespace ovrel {

class TComPort;
class TDeviceLink;

struct TForm1Options {
  // Path of the program file; empty: this process's executable.
  QString ProgramFile;
  LinkTiming Timing;
};

class TForm1 : public QWidget, private LinkUi {
  Q_OBJECT
 public:
  explicit TForm1(Dialogs& dialogs, TForm1Options options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  FolderSettings Folders;

  QLabel* Label1;
  TComComboBox* ComComboBox1;
  QPushButton* Button9;
  QPushButton* Button7;
  QPushButton* Button8;
  QLabel* Label2;
  QLineEdit* Edit1;
  QPushButton* Button5;
  QPushButton* Button6;
  QLabel* Label3;
  QLineEdit* Edit2;
  QPushButton* Button1;
  QPushButton* Button11;
  QWidget* StatusBar1;
  QProgressBar* ProgressBar1;  // shown over panel 1 while a device operation runs

  TComPort& ComPort1() { return *comPort_; }
  TDeviceLink& Link() { return *link_; }
  QString PanelText(int panel) const;

  // Shows the main window centred on the screen, or brings it forward.
  void ShowMainForm();
  // What Button7 and Button8 show: the session editor and the compiler.
  void SetEditorWindows(QWidget* editor, QWidget* compiler);
  // Asked before the program ends (the editor's unsaved changes).
  void SetCanCloseApplication(std::function<bool()> canClose);

  // Runs handler inside the program's error display.
  void Guard(const std::function<void()>& handler);

  void FormCreate();
  void Button5Click();
  void Button1Click();
  void Button7Click();
  void Button8Click();
  void Button9Click();
  void Button6Click();
  void Button11Click();
  void ComComboBox1DropDown();
  void FormCloseQuery(bool& CanClose);

 signals:
  // The main window closed: the program ends.
  void MainFormClosed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetStatusText(int panel, const QString& text) override;
  void ShowMessage(const QString& text, LinkIcon icon, const QString& detail) override;
  void PortsListed(const QStringList& ports) override;
  void ProbingPort(int index) override;
  void Progress(const LinkProgress& progress) override;
  void BusyChanged(bool busy) override;

  void CreateControls();
  void UpdateDeviceButtons();
  // The path an upload uses: the selected one, or the file named in the
  // edit box in the selected folder when the user typed another name.
  static QString PathFromEdit(QString& selectedPath, const QString& folder, const QString& text);
  std::optional<QString> SelectFile(const QString& filter, const QString& folder,
                                    const QString& extension, const QString& wrongFormatText);

  Dialogs& dialogs_;
  TForm1Options options_;
  std::unique_ptr<TComPort> comPort_;
  std::unique_ptr<TDeviceLink> link_;
  QLabel* panels_[2];
  QWidget* editor_ = nullptr;
  QWidget* compiler_ = nullptr;
  std::function<bool()> canClose_;
  bool deviceFound_ = false;
  bool busy_ = false;
  // The control that had the focus when an operation started, disabled or not.
  QPointer<QWidget> focusBeforeBusy_;
};

}  // namespace ovrel
