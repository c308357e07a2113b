#include "app/TForm5.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include "app/AppTexts.h"
#include "app/JpegImage.h"
#include "app/WindowFont.h"

namespace ovrel {

namespace {

QImage SplashPicture() {
  QFile file(QStringLiteral(":/ovrel/splash.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeJpeg(file.readAll());
}

}  // namespace

TForm5::TForm5(std::function<void()> showMainForm, int intervalMs, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      showMainForm_(std::move(showMainForm)) {
  setObjectName(QStringLiteral("Form5"));
  setFont(WindowFont());
  setWindowTitle(QStringLiteral("About2"));
  setFixedSize(362, 113);
  setWindowOpacity(223.0 / 255.0);
  setAutoFillBackground(true);
  QPalette sky = palette();
  sky.setColor(QPalette::Window, QColor(166, 202, 240));
  setPalette(sky);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Bevel1->setGeometry(0, 0, 362, 113);

  Image1 = new QLabel(this);
  Image1->setGeometry(16, 16, 81, 81);
  Image1->setPixmap(QPixmap::fromImage(SplashPicture()));

  Label1 = new QLabel(kProductCaption, this);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label1->setGeometry(119, 32, 227, Label1->sizeHint().height());

  Label2 = new QLabel(kMakerLine, this);
  Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label2->setGeometry(120, 56, 225, Label2->sizeHint().height());

  Timer1 = new QTimer(this);
  Timer1->setSingleShot(true);
  Timer1->setInterval(intervalMs);
  connect(Timer1, &QTimer::timeout, this, &TForm5::Timer1Timer);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect placed = rect();
    placed.moveCenter(screen->availableGeometry().center());
    setGeometry(placed);
  }
  show();
  FormCreate();
}

void TForm5::FormCreate() {
  Timer1->start();
}

void TForm5::Timer1Timer() {
  hide();
  if (showMainForm_) showMainForm_();
}

}  // namespace ovrel
