#include "editor/TForm2.h"

namespace ovrel {

TForm2::TForm2(FolderSettings& settings, Dialogs& dialogs, std::function<void()> showAbout,
               QWidget* parent)
    : QMainWindow(parent), settings_(settings), dialogs_(dialogs), showAbout_(std::move(showAbout)) {
  setWindowTitle(QStringLiteral("Sorvani Ovrelware 1.5 - Session Editor - []"));
}

bool TForm2::CanCloseApplication() { return true; }

}  // namespace ovrel
