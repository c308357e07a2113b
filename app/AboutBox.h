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
  // mainForm: the window over whose middle the box appears.
  explicit AboutBox(QWidget* mainForm, QWidget* parent = nullptr);

  QLabel* iconImage;
  QLabel* productLabel;
  QLabel* makerLabel;
  QPushButton* okButton;

  // Shows the box, or brings it forward when it is already shown.
  void ShowAbout();

  void FormCreate() {}
  void onOkClicked();

 private:
  QWidget* mainForm_;
};

}  // namespace ovrel
