#pragma once
// The session editor window.

#include <QMainWindow>
#include <functional>

#include "app/Dialogs.h"
#include "app/FolderSettings.h"

namespace ovrel {

class TForm2 : public QMainWindow {
  Q_OBJECT
 public:
  // settings: the main window's folder settings (read when needed);
  // showAbout: shows the one about box.
  TForm2(FolderSettings& settings, Dialogs& dialogs, std::function<void()> showAbout,
         QWidget* parent = nullptr);

  // Asked by the main window before the program ends: asks about unsaved
  // changes; false when the user chose Cancel.
  bool CanCloseApplication();

 private:
  FolderSettings& settings_;
  Dialogs& dialogs_;
  std::function<void()> showAbout_;
};

}  // namespace ovrel
