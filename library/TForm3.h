#pragma once
// The library compiler window.

#include <QWidget>

#include "app/Dialogs.h"
#include "app/FolderSettings.h"

namespace ovrel {

class TForm3 : public QWidget {
  Q_OBJECT
 public:
  // settings: the main window's folder settings; the sessions folder is read
  // at creation, the libraries folder at each compile and written back.
  TForm3(FolderSettings& settings, Dialogs& dialogs, QWidget* parent = nullptr);

 private:
  FolderSettings& settings_;
  Dialogs& dialogs_;
};

}  // namespace ovrel
