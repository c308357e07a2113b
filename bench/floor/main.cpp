// The start-up floor: a bare Qt Widgets program that shows one label in a
// frameless window on a sky-blue background, as the splash does.
// bench/startup.sh compares the program's start-up with this one's on the
// same display; it knows that the window is drawn when it shows that colour.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("Sorvani Ovrelware 1.5"));
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
