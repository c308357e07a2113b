#include "app/AboutBox.h"

#include "app/AppTexts.h"
#include "ui/WindowFont.h"

namespace ovrel {

AboutBox::AboutBox(QWidget* mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      mainWindow_(mainWindow) {
  setObjectName(QStringLiteral("aboutBox"));
  setFont(WindowFont());
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(314, 127);
  setModal(false);

  iconLabel_ = new QLabel(this);
  iconLabel_->setObjectName(QStringLiteral("iconLabel"));
  iconLabel_->setGeometry(24, 24, 32, 32);
  iconLabel_->setPixmap(QPixmap(QStringLiteral(":/ovrel/about.png")));

  productLabel_ = new QLabel(kProductCaption, this);
  productLabel_->setObjectName(QStringLiteral("productLabel"));
  productLabel_->setGeometry(72, 24, productLabel_->sizeHint().width(),
                             productLabel_->sizeHint().height());

  makerLabel_ = new QLabel(kMakerLine, this);
  makerLabel_->setObjectName(QStringLiteral("makerLabel"));
  makerLabel_->setGeometry(72, 48, 221, makerLabel_->sizeHint().height());

  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("okButton"));
  okButton_->setGeometry(120, 88, 75, 25);
  okButton_->setDefault(true);
  // OK only hides the box.
  connect(okButton_, &QPushButton::clicked, this, &QWidget::hide);
}

void AboutBox::ShowAbout() {
  if (!isVisible() && mainWindow_) {
    QRect placed = rect();
    placed.moveCenter(mainWindow_->geometry().center());
    setGeometry(placed);
  }
  show();
  raise();
  activateWindow();
}

}  // namespace ovrel
