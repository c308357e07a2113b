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

SplashWindow::SplashWindow(std::function<void()> onEnded, int intervalMs, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      onEnded_(std::move(onEnded)) {
  setObjectName(QStringLiteral("splashWindow"));
  setFont(WindowFont());
  // Without a border the title is not seen; it names the window to the
  // window manager and to screen readers.
  setWindowTitle(kProductCaption);
  setAccessibleName(kProductCaption);
  setFixedSize(362, 113);
  setWindowOpacity(223.0 / 255.0);
  setAutoFillBackground(true);
  QPalette sky = palette();
  sky.setColor(QPalette::Window, QColor(166, 202, 240));
  setPalette(sky);

  border_ = new QFrame(this);
  border_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  border_->setGeometry(0, 0, 362, 113);

  pictureLabel_ = new QLabel(this);
  pictureLabel_->setObjectName(QStringLiteral("pictureLabel"));
  pictureLabel_->setGeometry(16, 16, 81, 81);
  pictureLabel_->setPixmap(QPixmap::fromImage(SplashPicture()));

  productLabel_ = new QLabel(kProductCaption, this);
  productLabel_->setObjectName(QStringLiteral("productLabel"));
  QFont bold = productLabel_->font();
  bold.setBold(true);
  productLabel_->setFont(bold);
  productLabel_->setAlignment(Qt::AlignRight | Qt::AlignTop);
  productLabel_->setGeometry(119, 32, 227, productLabel_->sizeHint().height());

  makerLabel_ = new QLabel(kMakerLine, this);
  makerLabel_->setObjectName(QStringLiteral("makerLabel"));
  makerLabel_->setAlignment(Qt::AlignRight | Qt::AlignTop);
  makerLabel_->setGeometry(120, 56, 225, makerLabel_->sizeHint().height());

  closeTimer_ = new QTimer(this);
  closeTimer_->setObjectName(QStringLiteral("closeTimer"));
  closeTimer_->setSingleShot(true);
  // A coarse timer, Qt's default, may end the splash up to 5 % early.
  closeTimer_->setTimerType(Qt::PreciseTimer);
  closeTimer_->setInterval(intervalMs);
  connect(closeTimer_, &QTimer::timeout, this, &SplashWindow::onCloseTimerTimeout);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect placed = rect();
    placed.moveCenter(screen->availableGeometry().center());
    setGeometry(placed);
  }
  show();
  closeTimer_->start();
}

void SplashWindow::Dismiss() {
  closeTimer_->stop();
  hide();
}

void SplashWindow::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (painted_) return;
  painted_ = true;
  // Queued: the picture reaches the screen when this paint has returned.
  QTimer::singleShot(0, this, &SplashWindow::FirstPainted);
}

void SplashWindow::onCloseTimerTimeout() {
  hide();
  if (onEnded_) onEnded_();
}

}  // namespace ovrel
