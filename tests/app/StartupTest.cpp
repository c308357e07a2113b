// Start-up: the order and state of the five windows, the splash timing, a
// show request during the splash, the one about box and the program's end.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTest>

#include "app/OvrelApplication.h"
#include "tests/app/MainWindowFixture.h"

namespace ovrel::test {
namespace {

class Startup : public MainWindowFixture {
 protected:
  OvrelApplication& Start(int splashMs) {
    StartupOptions options;
    options.SplashMs = splashMs;
    options.Main.ProgramFile = programFolder + QStringLiteral("/ovrelware");
    options.Main.Timing = LinkTiming{}.Scaled(0.4);
    options.RemoteControl = false;  // the desktop's session bus is not the tests' to take
    app = std::make_unique<OvrelApplication>(dialogs, options);
    return *app;
  }
  void TearDown() override {
    app.reset();
    MainWindowFixture::TearDown();
  }
  static int TopLevelAboutBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<TForm4*>(w) && w->isVisible()) ++n;
    return n;
  }
  std::unique_ptr<OvrelApplication> app;
};

TEST_F(Startup, OnlyTheSplashIsShownAtFirstThenTheMainWindowCentred) {
  QElapsedTimer clock;
  clock.start();
  OvrelApplication& a = Start(2000);
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Sorvani Ovrel"));
  EXPECT_TRUE(a.Form5->isVisible());
  EXPECT_FALSE(a.Form1->isVisible());
  EXPECT_FALSE(a.Form2->isVisible());
  EXPECT_FALSE(a.Form3->isVisible());
  EXPECT_FALSE(a.Form4->isVisible());
  // The editor and the compiler share the main window's settings.
  EXPECT_EQ(a.Form1->Folders.ProgramFolder, programFolder);

  QTest::qWait(300);
  EXPECT_FALSE(a.Form1->isVisible());
  EXPECT_TRUE(a.Form5->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return a.Form1->isVisible(); }, 5000));
  EXPECT_GE(clock.elapsed(), 1900);  // the timer may fire a little early, never much
  EXPECT_FALSE(a.Form5->isVisible());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(a.Form1->geometry().center(), screen.center());
}

TEST_F(Startup, ShowRequestDuringTheSplashShowsTheMainWindowAtOnce) {
  OvrelApplication& a = Start(2000);
  QTest::qWait(100);
  a.Form1->ShowMainForm();
  EXPECT_TRUE(a.Form1->isVisible());
  EXPECT_TRUE(a.Form5->isVisible());
  a.Form1->move(20, 30);  // the user moves it; the end of the splash leaves it there
  const QPoint placed = a.Form1->pos();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !a.Form5->isVisible(); }, 5000));
  EXPECT_TRUE(a.Form1->isVisible());
  EXPECT_EQ(a.Form1->pos(), placed);
}

TEST_F(Startup, AboutTwiceShowsTheOneAboutBox) {
  OvrelApplication& a = Start(60000);
  a.Form1->ShowMainForm();
  // The editor's About command, when the editor has one; the same call otherwise.
  QAction* about = a.Form2->findChild<QAction*>(QStringLiteral("About1"));
  auto showAbout = [&] { about ? about->trigger() : a.Form4->ShowAbout(); };
  showAbout();
  showAbout();
  EXPECT_TRUE(a.Form4->isVisible());
  EXPECT_EQ(TopLevelAboutBoxes(), 1);
  QTest::mouseClick(a.Form4->Button1, Qt::LeftButton);
  EXPECT_EQ(TopLevelAboutBoxes(), 0);
  showAbout();
  EXPECT_EQ(TopLevelAboutBoxes(), 1);
}

TEST_F(Startup, ClosingTheMainWindowHidesEveryWindow) {
  OvrelApplication& a = Start(60000);
  a.Form1->ShowMainForm();
  QTest::mouseClick(a.Form1->Button7, Qt::LeftButton);
  QTest::mouseClick(a.Form1->Button8, Qt::LeftButton);
  a.Form4->ShowAbout();
  EXPECT_TRUE(a.Form2->isVisible());
  EXPECT_TRUE(a.Form3->isVisible());
  EXPECT_TRUE(a.Form1->close());
  for (QWidget* w : {static_cast<QWidget*>(a.Form1.get()), static_cast<QWidget*>(a.Form2.get()),
                     static_cast<QWidget*>(a.Form3.get()), static_cast<QWidget*>(a.Form4.get()),
                     static_cast<QWidget*>(a.Form5.get())})
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  EXPECT_FALSE(a.Form5->Timer1->isActive());
}

}  // namespace
}  // namespace ovrel::test
