#pragma once
// The windows of the program, created once at start-up in their fixed order:
// main window, session editor, library compiler, splash, about box. The main
// window stays hidden until the splash ends (or until it is asked to show).

#include <QStringList>
#include <functional>
#include <memory>

#include "app/AboutBox.h"
#include "ui/Dialogs.h"
#include "app/MainWindow.h"
#include "app/SplashWindow.h"
#include "device/remote/RemoteControl.h"
#include "editor/SessionEditorWindow.h"
#include "compiler/LibraryCompilerWindow.h"

namespace ovrel {

struct StartupOptions {
  int SplashMs = 5000;
  MainWindowOptions Main;
  // The timing of the device link.
  LinkTiming Timing;
  // Serve the remote control requests of other programs on the session bus.
  bool ServeRemoteControl = true;
  // Create the windows that start hidden (main window, editor, compiler,
  // about box) and the remote control from the event loop, once the splash
  // has been drawn on screen, instead of before it: the splash appears
  // sooner and nothing a user sees changes. Until then those members are
  // empty.
  bool CreateHiddenWindowsLater = false;
};

class OvrelApplication {
 public:
  // Sets the application title and creates the windows; an error while
  // they are created leaves this constructor (see ShowApplicationError).
  explicit OvrelApplication(Dialogs& dialogs, StartupOptions options = {});

  ~OvrelApplication();

  // Opens files given on the command line or handed over by a second start:
  // a session in the editor (as Open would), a library selected in the main
  // window. Files that arrive while the splash shows wait for its end.
  void OpenFiles(const QStringList& files);

  // Ends the program as its main window's close box would, without asking
  // (no user is there to answer: the session ends, the program was told to
  // stop): a device job that runs or waits is finished first, and the
  // replies to remote clients are sent, so that no write is cut off.
  void EndWhenIdle();

  // Declared in creation order, so they are destroyed the other way round
  // (the editor and the compiler use the main window's folder settings).
  // The device service is made before the event loop runs, so that its
  // queued work never starts inside a loop of a box or a dialog.
  std::unique_ptr<DeviceService> Device;
  std::unique_ptr<MainWindow> Main;
  std::unique_ptr<SessionEditorWindow> Editor;
  std::unique_ptr<LibraryCompilerWindow> Compiler;
  std::unique_ptr<SplashWindow> Splash;
  std::unique_ptr<AboutBox> About;
  // The requests of another program, served through the device service.
  std::unique_ptr<RemoteControl> Remote;

 private:
  void CreateHiddenWindows();
  void CreateEditorAndCompiler();
  void CreateAboutAndRemote();
  void SplashEnded();
  void OpenPendingFiles();
  void EndOnceIdle();
  void EndNow();

  Dialogs& dialogs_;
  StartupOptions options_;
  bool splashOver_ = false;
  bool ending_ = false;
  QStringList pendingFiles_;
};

}  // namespace ovrel
