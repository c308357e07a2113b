// The start-up floor: a bare Qt Widgets program that shows one label in a
// frameless window on a sky-blue background, as the splash does.
// bench/startup.sh compares the program's start-up with this one's on the
// same display; it knows that the window is drawn when it shows that colour.
#include <QApplication>
#include <QLabel>

#include "ProductInfo.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label(QString::fromLatin1(ovrel::kProductTitle));
  label.setWindowTitle(QStringLiteral("Startup floor"));
  label.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  label.resize(362, 113);
  label.setAutoFillBackground(true);
  QPalette sky = label.palette();
  sky.setColor(QPalette::Window, QColor(166, 202, 240));
  label.setPalette(sky);
  label.show();
  return QApplication::exec();
}
