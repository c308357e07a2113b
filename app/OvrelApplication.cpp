#include "app/OvrelApplication.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <utility>

#include "app/PortComboBox.h"
#include "ui/ErrorDisplay.h"

namespace ovrel {

OvrelApplication::OvrelApplication(Dialogs& dialogs, StartupOptions options)
    : dialogs_(dialogs), options_(std::move(options)) {
  QCoreApplication::setApplicationName(kAppTitle);
  Device = std::make_unique<DeviceService>(options_.Timing);
  if (!options_.CreateHiddenWindowsLater) {
    Main = std::make_unique<MainWindow>(dialogs, *Device, options_.Main);
    CreateEditorAndCompiler();
    Splash = std::make_unique<SplashWindow>([this] { SplashEnded(); }, options_.SplashMs);
    CreateAboutAndRemote();
    return;
  }
  // What can fail while the windows are made is reading the port list; it
  // is read first, so that a failure still ends the start-up before any
  // window shows.
  ListPortsOrRaise();
  Splash = std::make_unique<SplashWindow>([this] { SplashEnded(); }, options_.SplashMs);
  // The hidden windows follow once the splash has been drawn, so that
  // making them never holds its picture back; handed to the display server
  // now, it may be drawn at once.
  QObject::connect(Splash.get(), &SplashWindow::FirstPainted, Splash.get(),
                   [this] { CreateHiddenWindows(); });
  QGuiApplication::sync();
}

void OvrelApplication::CreateHiddenWindows() {
  if (Main) return;
  // The frameless splash shows no icon: loading it (and the picture
  // plug-ins) waits until the splash is on screen, and the windows that
  // show one get it now.
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/ovrel/ovrelware.png")));
  try {
    Main = std::make_unique<MainWindow>(dialogs_, *Device, options_.Main);
    CreateEditorAndCompiler();
    CreateAboutAndRemote();
  } catch (...) {
    ShowApplicationError(dialogs_, std::current_exception());
    QCoreApplication::exit(1);
  }
}

void OvrelApplication::CreateEditorAndCompiler() {
  Editor = std::make_unique<SessionEditorWindow>(Main->Folders(), dialogs_,
                                                 [this] { About->ShowAbout(); });
  Compiler = std::make_unique<LibraryCompilerWindow>(Main->Folders(), dialogs_);
}

void OvrelApplication::CreateAboutAndRemote() {
  About = std::make_unique<AboutBox>(Main.get());

  Main->SetEditorWindows(Editor.get(), Compiler.get());
  Main->SetCanCloseApplication([this] { return Editor->CanCloseApplication(); },
                               [this] { Editor->CloseRefused(); });
  // The editor's Exit leaves the same way as the main window's close box,
  // which waits for a running device operation.
  Editor->ExitApplication = [this] { Main->close(); };
  // Closing the main window ends the program; the other windows go with it.
  QObject::connect(Main.get(), &MainWindow::Closed, Main.get(), [this] {
    for (QWidget* window :
         {static_cast<QWidget*>(Editor.get()), static_cast<QWidget*>(Compiler.get()),
          static_cast<QWidget*>(About.get())})
      window->hide();
    Splash->Dismiss();
    // quit() closes the windows still shown, and one that refused would
    // leave a program running without a main window: every window's work was
    // settled before the main window closed, and all of them are hidden now.
    QCoreApplication::quit();
  });

  if (options_.ServeRemoteControl) {
    RemoteCallbacks callbacks;
    callbacks.ShowMainWindow = [this] { Main->ShowInFront(); };
    // The same way out as the main window's close box: the editor and the
    // memory window ask about their unsaved work first.
    callbacks.MayQuit = [this] { return Main->MayEndProgram(); };
    callbacks.Quit = [this] { Main->close(); };
    callbacks.ShowError = [this](std::exception_ptr error) { ShowError(dialogs_, error); };
    callbacks.ShowResult = [this](const JobResult& result) { Main->ShowRemoteFailure(result); };
    callbacks.OpenFiles = [this](const QStringList& files) {
      Main->ShowInFront();
      OpenFiles(files);
    };
    callbacks.ProgramFolder = [this] { return Main->ProgramFolder(); };
    Remote = std::make_unique<RemoteControl>(*Device, std::move(callbacks));
  }
}

OvrelApplication::~OvrelApplication() = default;

void OvrelApplication::EndWhenIdle() {
  if (ending_) return;  // a second request changes nothing
  ending_ = true;
  EndOnceIdle();
}

void OvrelApplication::EndOnceIdle() {
  // Windows made from the event loop may not be there yet.
  const bool writing = Main && Main->Writing();
  if (Device->Busy() || writing) {
    QTimer::singleShot(50, Device.get(), [this] { EndOnceIdle(); });
    return;
  }
  if (Remote) {
    Remote->WhenRepliesSent([this] { EndNow(); });
    return;
  }
  EndNow();
}

void OvrelApplication::EndNow() {
  Device->ClosePort();
  if (Main) Main->hide();
  for (QWidget* window :
       {static_cast<QWidget*>(Editor.get()), static_cast<QWidget*>(Compiler.get()),
        static_cast<QWidget*>(About.get())})
    if (window) window->hide();
  if (Splash) Splash->Dismiss();
  QCoreApplication::quit();
}

void OvrelApplication::SplashEnded() {
  splashOver_ = true;
  // A splash that was never drawn (its window never exposed) still ends.
  CreateHiddenWindows();
  if (!Main) return;
  Main->ShowInFront();
  OpenPendingFiles();
}

void OvrelApplication::OpenFiles(const QStringList& files) {
  pendingFiles_ += files;
  if (splashOver_) OpenPendingFiles();
}

void OvrelApplication::OpenPendingFiles() {
  const QStringList files = std::exchange(pendingFiles_, {});
  for (const QString& file : files) {
    Main->Guard([&] {
      if (QFileInfo(file).suffix().toLower() == QLatin1String("svl")) {
        Main->SelectLibraryFile(file);
        Main->ShowInFront();
      } else {
        Main->ShowSessionEditor();
        Editor->OpenSessionFile(file);
      }
    });
  }
}

}  // namespace ovrel
