#include "app/AboutBox.h"

#include "app/AppTexts.h"
#include "ui/WindowFont.h"

namespace ovrel {

AboutBox::AboutBox(QWidget* mainForm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      mainForm_(mainForm) {
  setObjectName(QStringLiteral("aboutBox"));
  setFont(WindowFont());
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(314, 127);
  setModal(false);

  iconImage = new QLabel(this);
  iconImage->setGeometry(24, 24, 32, 32);
  iconImage->setPixmap(QPixmap(QStringLiteral(":/ovrel/about.png")));

  productLabel = new QLabel(kProductCaption, this);
  productLabel->setGeometry(72, 24, productLabel->sizeHint().width(),
                            productLabel->sizeHint().height());

  makerLabel = new QLabel(kMakerLine, this);
  makerLabel->setGeometry(72, 48, 221, makerLabel->sizeHint().height());

  okButton = new QPushButton(QStringLiteral("OK"), this);
  okButton->setGeometry(120, 88, 75, 25);
  okButton->setDefault(true);
  connect(okButton, &QPushButton::clicked, this, &AboutBox::onOkClicked);
  FormCreate();
}

void AboutBox::ShowAbout() {
  if (!isVisible() && mainForm_) {
    QRect placed = rect();
    placed.moveCenter(mainForm_->geometry().center());
    setGeometry(placed);
  }
  show();
  raise();
  activateWindow();
}

void AboutBox::onOkClicked() {
  hide();
}

}  // namespace ovrel
