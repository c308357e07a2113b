// The splash window and the about box on their own.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "app/AboutBox.h"
#include "app/SplashWindow.h"
#include "support/FindChild.h"

namespace ovrel {
namespace {

TEST(Splash, EndsOnceAfterItsIntervalAndShowsTheMainWindow) {
  int shown = 0;
  qint64 shownAfterMs = 0;
  QElapsedTimer clock;
  clock.start();
  SplashWindow splash(
      [&] {
        ++shown;
        shownAfterMs = clock.elapsed();
      },
      1500);
  EXPECT_TRUE(splash.isVisible());                            // from its creation on
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&splash)->text(QAccessible::Name),
            QStringLiteral("Sorvani Ovrelware 1.5"));
  EXPECT_EQ(Control<QLabel>(splash, "pictureLabel")->pixmap().size(),
            QSize(81, 81));  // the decoded picture
  QTest::qWait(100);
  EXPECT_TRUE(splash.isVisible());
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown > 0; }, 3000));
  EXPECT_GE(shownAfterMs, 1500);  // never before its time
  EXPECT_FALSE(splash.isVisible());
  QTest::qWait(1600);  // never shown again
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(splash.isVisible());
}

TEST(About, OneBoxShownWithoutBlockingAndHiddenByOkOrClose) {
  QWidget main;
  main.setGeometry(100, 100, 369, 204);
  main.show();
  AboutBox about(&main);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(Control<QLabel>(about, "iconLabel")->pixmap().size(), QSize(32, 32));

  about.ShowAbout();
  EXPECT_TRUE(about.isVisible());
  EXPECT_FALSE(about.isModal());
  EXPECT_EQ(about.geometry().center(), main.geometry().center());
  about.move(10, 10);  // moved by the user; a second About only brings it forward
  about.ShowAbout();
  EXPECT_EQ(about.pos(), QPoint(10, 10));

  QTest::mouseClick(Control<QPushButton>(about, "okButton"), Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  about.ShowAbout();
  EXPECT_TRUE(about.isVisible());
  about.close();
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace ovrel
