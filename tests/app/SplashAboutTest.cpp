// The splash window and the about box on their own.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "app/TForm4.h"
#include "app/TForm5.h"

namespace ovrel {
namespace {

TEST(Splash, LooksAsSpecifiedFromItsCreation) {
  TForm5 splash({}, 60000);
  EXPECT_TRUE(splash.isVisible());
  EXPECT_EQ(splash.size(), QSize(362, 113));
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_NEAR(splash.windowOpacity(), 223.0 / 255.0, 0.005);
  EXPECT_EQ(splash.palette().color(QPalette::Window), QColor(166, 202, 240));
  EXPECT_EQ(splash.Image1->geometry(), QRect(16, 16, 81, 81));
  EXPECT_EQ(splash.Image1->pixmap().size(), QSize(81, 81));
  EXPECT_EQ(splash.Label1->text(), QStringLiteral("Sorvani Ovrelware 1.5"));
  EXPECT_TRUE(splash.Label1->font().bold());
  EXPECT_TRUE(splash.Label1->alignment() & Qt::AlignRight);
  EXPECT_EQ(splash.Bevel1->geometry(), splash.rect());
  EXPECT_TRUE(splash.Timer1->isActive());
  EXPECT_EQ(splash.Timer1->interval(), 60000);
}

TEST(Splash, EndsOnceAfterItsIntervalAndShowsTheMainWindow) {
  int shown = 0;
  TForm5 splash([&] { ++shown; }, 1500);
  QTest::qWait(100);
  EXPECT_TRUE(splash.isVisible());
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown > 0; }, 3000));
  EXPECT_FALSE(splash.isVisible());
  QTest::qWait(1600);  // never shown again
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(splash.isVisible());
}

TEST(About, OneBoxShownWithoutBlockingAndHiddenByOkOrClose) {
  QWidget main;
  main.setGeometry(100, 100, 369, 204);
  main.show();
  TForm4 about(&main);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(about.size(), QSize(314, 127));
  EXPECT_EQ(about.Button1->text(), QStringLiteral("OK"));
  EXPECT_EQ(about.Button1->geometry(), QRect(120, 88, 75, 25));
  EXPECT_EQ(about.Image1->pixmap().size(), QSize(32, 32));
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);

  about.ShowAbout();
  EXPECT_TRUE(about.isVisible());
  EXPECT_FALSE(about.isModal());
  EXPECT_EQ(about.geometry().center(), main.geometry().center());
  about.move(10, 10);  // moved by the user; a second About only brings it forward
  about.ShowAbout();
  EXPECT_EQ(about.pos(), QPoint(10, 10));

  QTest::mouseClick(about.Button1, Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  about.ShowAbout();
  EXPECT_TRUE(about.isVisible());
  about.close();
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace ovrel
