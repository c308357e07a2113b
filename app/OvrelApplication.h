#pragma once
// The windows of the program, created once at start-up in their fixed order:
// main window, session editor, library compiler, splash, about box. The main
// window stays hidden until the splash ends (or until it is asked to show).

#include <memory>

#include "app/Dialogs.h"
#include "app/TForm1.h"
#include "app/TForm4.h"
#include "app/TForm5.h"
#include "device/remote/RemoteControl.h"
#include "editor/TForm2.h"
#include "library/TForm3.h"

namespace ovrel {

struct StartupOptions {
  int SplashMs = 5000;
  TForm1Options Main;
  // Serve the remote control requests of other programs on the session bus.
  bool RemoteControl = true;
};

class OvrelApplication {
 public:
  // Sets the application title and creates the windows; an error while
  // they are created leaves this constructor (see ShowApplicationError).
  explicit OvrelApplication(Dialogs& dialogs, StartupOptions options = {});
  ~OvrelApplication();

  // Declared in creation order, so they are destroyed the other way round
  // (the editor and the compiler use the main window's folder settings).
  std::unique_ptr<TForm1> Form1;
  std::unique_ptr<TForm2> Form2;
  std::unique_ptr<TForm3> Form3;
  std::unique_ptr<TForm5> Form5;
  std::unique_ptr<TForm4> Form4;
  // The requests of another program, served through the main window's link.
  std::unique_ptr<TRemoteControl> Remote;
};

}  // namespace ovrel
