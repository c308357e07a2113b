#pragma once
// The about box: one instance for the whole run, shown without blocking the
// other windows; "OK" and the close box only hide it.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace ovrel {

class TForm4 : public QDialog {
  Q_OBJECT
 public:
  // mainForm: the window over whose middle the box appears.
  explicit TForm4(QWidget* mainForm, QWidget* parent = nullptr);

  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label2;
  QPushButton* Button1;

  // Shows the box, or brings it forward when it is already shown.
  void ShowAbout();

  void FormCreate() {}
  void Button1Click();

 private:
  QWidget* mainForm_;
};

}  // namespace ovrel
