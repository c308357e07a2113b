#include "library/TForm3.h"

namespace ovrel {

TForm3::TForm3(FolderSettings& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), settings_(settings), dialogs_(dialogs) {
  setWindowTitle(QStringLiteral("Sorvani Ovrelware 1.5 - Session Library Compiler"));
}

}  // namespace ovrel
