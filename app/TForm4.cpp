#include "app/TForm4.h"

#include "app/AppTexts.h"
#include "app/WindowFont.h"

namespace ovrel {

TForm4::TForm4(QWidget* mainForm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      mainForm_(mainForm) {
  setObjectName(QStringLiteral("Form4"));
  setFont(WindowFont());
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(314, 127);
  setModal(false);

  Image1 = new QLabel(this);
  Image1->setGeometry(24, 24, 32, 32);
  Image1->setPixmap(QPixmap(QStringLiteral(":/ovrel/about.png")));

  Label1 = new QLabel(kProductCaption, this);
  Label1->setGeometry(72, 24, Label1->sizeHint().width(), Label1->sizeHint().height());

  Label2 = new QLabel(kMakerLine, this);
  Label2->setGeometry(72, 48, 221, Label2->sizeHint().height());

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setGeometry(120, 88, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
  FormCreate();
}

void TForm4::ShowAbout() {
  if (!isVisible() && mainForm_) {
    QRect placed = rect();
    placed.moveCenter(mainForm_->geometry().center());
    setGeometry(placed);
  }
  show();
  raise();
  activateWindow();
}

void TForm4::Button1Click() {
  hide();
}

}  // namespace ovrel
