#include "app/OvrelApplication.h"

#include <QApplication>
#include <QFileInfo>
#include <utility>

#include "ui/ErrorDisplay.h"

namespace ovrel {

OvrelApplication::OvrelApplication(Dialogs& dialogs, StartupOptions options) {
  QCoreApplication::setApplicationName(kAppTitle);
  Main = std::make_unique<MainWindow>(dialogs, std::move(options.Main));
  Editor =
      std::make_unique<SessionEditorWindow>(Main->Folders, dialogs, [this] { About->ShowAbout(); });
  Compiler = std::make_unique<LibraryCompilerWindow>(Main->Folders, dialogs);
  Splash = std::make_unique<SplashWindow>([this] { SplashEnded(); }, options.SplashMs);
  About = std::make_unique<AboutBox>(Main.get());

  Main->SetEditorWindows(Editor.get(), Compiler.get());
  Main->SetCanCloseApplication([this] { return Editor->CanCloseApplication(); });
  // Closing the main window ends the program; the other windows go with it.
  QObject::connect(Main.get(), &MainWindow::MainFormClosed, Main.get(), [this] {
    for (QWidget* window :
         {static_cast<QWidget*>(Editor.get()), static_cast<QWidget*>(Compiler.get()),
          static_cast<QWidget*>(About.get()), static_cast<QWidget*>(Splash.get())})
      window->hide();
    Splash->closeTimer->stop();
    QCoreApplication::quit();
  });

  if (options.ServeRemoteControl) {
    RemoteCallbacks callbacks;
    callbacks.ShowMainWindow = [this] { Main->ShowMainForm(); };
    // The same way out as the main window's close box, so the editor still
    // asks about unsaved changes.
    callbacks.Quit = [this] { Main->close(); };
    callbacks.ShowError = [&dialogs](std::exception_ptr error) { ShowError(dialogs, error); };
    callbacks.OpenFiles = [this](const QStringList& files) {
      Main->ShowMainForm();
      OpenFiles(files);
    };
    Remote = std::make_unique<RemoteControl>(Main->Link(), std::move(callbacks));
  }
}

OvrelApplication::~OvrelApplication() = default;

void OvrelApplication::SplashEnded() {
  splashOver_ = true;
  Main->ShowMainForm();
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
        Main->ShowMainForm();
      } else {
        Main->onSessionEditorClicked();
        Editor->OpenSessionFile(file);
      }
    });
  }
}

}  // namespace ovrel
