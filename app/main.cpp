// ovrelware: the desktop program for the Sorvani Pro device.
#include <QApplication>
#include <QIcon>
#include <memory>

#include "ui/ErrorDisplay.h"
#include "app/OvrelApplication.h"
#include "ui/QtDialogs.h"
#include "ui/WindowFont.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The program ends when its main window closes, not when its last
  // window does: during the splash no other window is open.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/ovrel/ovrelware.png")));
  QApplication::setFont(ovrel::WindowFont());

  ovrel::QtDialogs dialogs;
  std::unique_ptr<ovrel::OvrelApplication> windows;
  try {
    windows = std::make_unique<ovrel::OvrelApplication>(dialogs);
  } catch (...) {
    ovrel::ShowApplicationError(dialogs, std::current_exception());
    return 1;
  }
  return QApplication::exec();
}
