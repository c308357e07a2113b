// ovrelware: the desktop program for the Sorvani Pro device.
#include <fontconfig/fontconfig.h>

#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

#include "app/AppTexts.h"
#include "app/EndSignals.h"
#include "app/OvrelApplication.h"
#include "app/RunningProgram.h"
#include "ui/ErrorDisplay.h"
#include "ui/QtDialogs.h"
#include "ui/WindowFont.h"

namespace {

constexpr const char* kUsage =
    "Usage: ovrelware [FILE...]\n"
    "The desktop program for the Sorvani Pro light-and-sound device: edits sessions\n"
    "(.svs), compiles session libraries (.svl) and uploads them to the device.\n"
    "\n"
    "A session file given here opens in the session editor once the splash has\n"
    "gone; a library file is selected for upload in the main window. When the\n"
    "program runs already, the files are handed to it and its main window is\n"
    "shown instead of a second one.\n"
    "\n"
    "  -h, --help     show this text and end\n"
    "  -v, --version  show the version and end\n"
    "\n"
    "Files: working files, Sessions/ and Libraries/ live beside the program when\n"
    "its folder is writable, else in $XDG_DATA_HOME/ovrelware (by default\n"
    "~/.local/share/ovrelware).\n";

bool Asked(int argc, char** argv, const char* shortName, const char* longName) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], shortName) == 0 || std::strcmp(argv[i], longName) == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before a display is opened: the manual page is made from them.
  if (Asked(argc, argv, "-h", "--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (Asked(argc, argv, "-v", "--version")) {
    std::printf("%s\n", qPrintable(ovrel::kProductCaption));
    return 0;
  }

  // The first text the program measures (choosing the window font, before
  // the splash) waits for the font configuration to be read: some fifty
  // files, a good part of the start-up. Qt reads it on first use through
  // fontconfig; read here, it is ready by then, having been read while
  // QApplication connects to the display.
  std::future<FcBool> fontConfiguration = std::async(std::launch::async, FcInit);
  QApplication app(argc, argv);
  // Ties the windows to the installed menu entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.sorvani.Ovrelware"));
  // Absolute paths now: the main window changes the current directory.
  QStringList files;
  for (const QString& argument : QApplication::arguments().mid(1))
    files << QFileInfo(argument).absoluteFilePath();
  if (ovrel::HandOverToRunningProgram(files)) return 0;

  // The program ends when its main window closes, not when its last
  // window does: during the splash no other window is open.
  QApplication::setQuitOnLastWindowClosed(false);
  fontConfiguration.wait();
  QApplication::setFont(ovrel::WindowFont());

  ovrel::QtDialogs dialogs;
  std::unique_ptr<ovrel::OvrelApplication> windows;
  try {
    ovrel::StartupOptions options;
    options.CreateHiddenWindowsLater = true;
    windows = std::make_unique<ovrel::OvrelApplication>(dialogs, options);
  } catch (...) {
    ovrel::ShowApplicationError(dialogs, std::current_exception());
    return 1;
  }
  windows->OpenFiles(files);
  // Asked to end (the session ends, the terminal closes): the program ends
  // once the device's work is done, a write never cut off, and the remote
  // clients have their replies.
  ovrel::EndSignals endSignals;
  QObject::connect(&endSignals, &ovrel::EndSignals::Requested, &app,
                   [&windows](int) { windows->EndWhenIdle(); });
  return QApplication::exec();
}
