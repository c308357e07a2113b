#include "app/SplashWindow.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include "app/AppTexts.h"
#include "app/JpegImage.h"
#include "ui/WindowFont.h"

namespace ovrel {

namespace {

QImage SplashPicture() {
  QFile file(QStringLiteral(":/ovrel/splash.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeJpeg(file.readAll());
}

}  // namespace

SplashWindow::SplashWindow(std::function<void()> showMainForm, int intervalMs, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      showMainForm_(std::move(showMainForm)) {
  setObjectName(QStringLiteral("splashWindow"));
  setFont(WindowFont());
  setWindowTitle(QStringLiteral("About2"));
  setFixedSize(362, 113);
  setWindowOpacity(223.0 / 255.0);
  setAutoFillBackground(true);
  QPalette sky = palette();
  sky.setColor(QPalette::Window, QColor(166, 202, 240));
  setPalette(sky);

  border = new QFrame(this);
  border->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  border->setGeometry(0, 0, 362, 113);

  picture = new QLabel(this);
  picture->setGeometry(16, 16, 81, 81);
  picture->setPixmap(QPixmap::fromImage(SplashPicture()));

  productLabel = new QLabel(kProductCaption, this);
  QFont bold = productLabel->font();
  bold.setBold(true);
  productLabel->setFont(bold);
  productLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
  productLabel->setGeometry(119, 32, 227, productLabel->sizeHint().height());

  makerLabel = new QLabel(kMakerLine, this);
  makerLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
  makerLabel->setGeometry(120, 56, 225, makerLabel->sizeHint().height());

  closeTimer = new QTimer(this);
  closeTimer->setSingleShot(true);
  // A coarse timer, Qt's default, may end the splash up to 5 % early.
  closeTimer->setTimerType(Qt::PreciseTimer);
  closeTimer->setInterval(intervalMs);
  connect(closeTimer, &QTimer::timeout, this, &SplashWindow::onCloseTimerTimeout);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect placed = rect();
    placed.moveCenter(screen->availableGeometry().center());
    setGeometry(placed);
  }
  show();
  FormCreate();
}

void SplashWindow::FormCreate() {
  closeTimer->start();
}

void SplashWindow::onCloseTimerTimeout() {
  hide();
  if (showMainForm_) showMainForm_();
}

}  // namespace ovrel
