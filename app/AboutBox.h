#pragma once
// The about box: one instance for the whole run, shown without blocking the
// other windows; "OK" and the close box only hide it.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace ovrel {

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  // mainWindow: the window over whose middle the box appears.
  explicit AboutBox(QWidget* mainWindow, QWidget* parent = nullptr);

  // Shows the box, or brings it forward when it is already shown.
  void ShowAbout();

 private:
  QWidget* mainWindow_;
  QLabel* iconLabel_;
  QLabel* productLabel_;
  QLabel* makerLabel_;
  QPushButton* okButton_;
};

}  // namespace ovrel
