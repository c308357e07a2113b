// Start-up: the order and state of the five windows, the splash timing, a
// show request during the splash, the one about box and the program's end.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

#include "app/OvrelApplication.h"
#include "library/LibraryImage.h"
#include "memory/MemoryWindow.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"

namespace ovrel::test {
namespace {

class Startup : public MainWindowFixture {
 protected:
  OvrelApplication& Start(int splashMs, bool hiddenWindowsLater = false) {
    StartupOptions options;
    options.SplashMs = splashMs;
    options.CreateHiddenWindowsLater = hiddenWindowsLater;
    options.Main.ProgramFile = programFolder + QStringLiteral("/ovrelware");
    options.Timing = LinkTiming{}.Scaled(0.4);
    options.ServeRemoteControl = false;  // the desktop's session bus is not the tests' to take
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
      if (qobject_cast<AboutBox*>(w) && w->isVisible()) ++n;
    return n;
  }
  std::unique_ptr<OvrelApplication> app;
};

TEST_F(Startup, OnlyTheSplashIsShownAtFirstThenTheMainWindowCentred) {
  QElapsedTimer clock;
  clock.start();
  OvrelApplication& a = Start(2000);
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Sorvani Ovrel"));
  EXPECT_TRUE(a.Splash->isVisible());
  EXPECT_FALSE(a.Main->isVisible());
  EXPECT_FALSE(a.Editor->isVisible());
  EXPECT_FALSE(a.Compiler->isVisible());
  EXPECT_FALSE(a.About->isVisible());
  // The editor and the compiler share the main window's settings.
  EXPECT_EQ(a.Main->Folders().ProgramFolder(), programFolder);

  QTest::qWait(300);
  EXPECT_FALSE(a.Main->isVisible());
  EXPECT_TRUE(a.Splash->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return a.Main->isVisible(); }, 5000));
  EXPECT_GE(clock.elapsed(), 1900);  // the timer may fire a little early, never much
  EXPECT_FALSE(a.Splash->isVisible());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(a.Main->geometry().center(), screen.center());
}

TEST_F(Startup, ShowRequestDuringTheSplashShowsTheMainWindowAtOnce) {
  OvrelApplication& a = Start(2000);
  QTest::qWait(100);
  a.Main->ShowInFront();
  EXPECT_TRUE(a.Main->isVisible());
  EXPECT_TRUE(a.Splash->isVisible());
  a.Main->move(20, 30);  // the user moves it; the end of the splash leaves it there
  const QPoint placed = a.Main->pos();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !a.Splash->isVisible(); }, 5000));
  EXPECT_TRUE(a.Main->isVisible());
  EXPECT_EQ(a.Main->pos(), placed);
}

TEST_F(Startup, AboutTwiceShowsTheOneAboutBox) {
  OvrelApplication& a = Start(60000);
  a.Main->ShowInFront();
  // The editor's About command, when the editor has one; the same call otherwise.
  QAction* about = a.Editor->findChild<QAction*>(QStringLiteral("aboutAction"));
  auto showAbout = [&] { about ? about->trigger() : a.About->ShowAbout(); };
  showAbout();
  showAbout();
  EXPECT_TRUE(a.About->isVisible());
  EXPECT_EQ(TopLevelAboutBoxes(), 1);
  QTest::mouseClick(Control<QPushButton>(*a.About, "okButton"), Qt::LeftButton);
  EXPECT_EQ(TopLevelAboutBoxes(), 0);
  showAbout();
  EXPECT_EQ(TopLevelAboutBoxes(), 1);
}

TEST_F(Startup, ClosingTheMainWindowHidesEveryWindow) {
  OvrelApplication& a = Start(60000);
  a.Main->ShowInFront();
  QTest::mouseClick(Control<QPushButton>(*a.Main, "sessionEditorButton"), Qt::LeftButton);
  QTest::mouseClick(Control<QPushButton>(*a.Main, "libraryCompilerButton"), Qt::LeftButton);
  a.About->ShowAbout();
  EXPECT_TRUE(a.Editor->isVisible());
  EXPECT_TRUE(a.Compiler->isVisible());
  EXPECT_TRUE(a.Main->close());
  for (QWidget* w : {static_cast<QWidget*>(a.Main.get()), static_cast<QWidget*>(a.Editor.get()),
                     static_cast<QWidget*>(a.Compiler.get()), static_cast<QWidget*>(a.About.get()),
                     static_cast<QWidget*>(a.Splash.get())})
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  EXPECT_FALSE(Control<QTimer>(*a.Splash, "closeTimer")->isActive());
}

// Unwritten changes in the memory window: "No" to the question leaves every
// window as it was; "Yes" ends the program with no window left behind.
TEST_F(Startup, ClosingWithUnwrittenMemoryChangesAsksFirstAndNoKeepsEveryWindow) {
  WriteTwoSessionLibrary();
  OvrelApplication& a = Start(60000);
  a.Main->ShowInFront();
  QTest::mouseClick(Control<QPushButton>(*a.Main, "memoryButton"), Qt::LeftButton);  // no port
  auto* memory = a.Main->findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(memory && memory->isVisible());
  ASSERT_TRUE(memory->OpenLibrary(root + "/two.svl"));
  Control<QTableWidget>(*memory, "sessionTable")->selectRow(0);
  QTest::mouseClick(Control<QPushButton>(*memory, "removeButton"), Qt::LeftButton);
  ASSERT_TRUE(memory->Changed());

  dialogs.AnswerButton(MsgResult::No);
  EXPECT_FALSE(a.Main->close());
  ASSERT_EQ(dialogs.MessageTexts().size(), 1);
  EXPECT_TRUE(dialogs.MessageTexts()[0].endsWith("Discard the changes?"));
  EXPECT_TRUE(a.Main->isVisible());
  EXPECT_TRUE(memory->isVisible());
  EXPECT_TRUE(memory->Changed());

  dialogs.AnswerButton(MsgResult::Yes);
  EXPECT_TRUE(a.Main->close());
  EXPECT_FALSE(a.Main->isVisible());
  EXPECT_FALSE(memory->isVisible());
  EXPECT_TRUE(dialogs.AllAnswersUsed());
}

// The program itself creates the hidden windows after the splash is up, and
// opens the files it was given once the splash has gone.
TEST_F(Startup, TheSplashComesFirstAndTheHiddenWindowsFollow) {
  // What the program has made when the splash is first drawn.
  struct FirstPaint : QObject {
    int Windows = -1;
    bool Icon = false;
    bool eventFilter(QObject* object, QEvent* event) override {
      if (event->type() == QEvent::Paint && Windows < 0 && qobject_cast<SplashWindow*>(object)) {
        Windows = static_cast<int>(QApplication::topLevelWidgets().size());
        Icon = !QApplication::windowIcon().isNull();
      }
      return false;
    }
  } firstPaint;
  QApplication::setWindowIcon(QIcon());
  qApp->installEventFilter(&firstPaint);
  OvrelApplication& a = Start(1500, true);
  EXPECT_TRUE(a.Splash->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return a.About != nullptr; }, 2000));
  qApp->removeEventFilter(&firstPaint);
  EXPECT_EQ(firstPaint.Windows, 1) << "only the splash is made before it is drawn";
  EXPECT_FALSE(firstPaint.Icon);
  EXPECT_FALSE(QApplication::windowIcon().isNull());
  for (QWidget* w : {static_cast<QWidget*>(a.Main.get()), static_cast<QWidget*>(a.Editor.get()),
                     static_cast<QWidget*>(a.Compiler.get()), static_cast<QWidget*>(a.About.get())})
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  EXPECT_EQ(a.Main->Folders().ProgramFolder(), programFolder);
  EXPECT_TRUE(QTest::qWaitFor([&] { return a.Main->isVisible(); }, 5000));
  EXPECT_FALSE(a.Splash->isVisible());
}

TEST_F(Startup, FilesGivenAtStartOpenWhenTheSplashEnds) {
  const QString session = root + QStringLiteral("/Calm Evening.svs");
  const QString library = root + QStringLiteral("/LIB1.SVL");
  WriteFile(session, "version=23\r\n1,0,\r\n36,10,10,100,100,\r\n0,\r\n");
  WriteFile(library, QByteArray(8, '\0'));
  OvrelApplication& a = Start(800, true);
  a.OpenFiles({session, library});
  ASSERT_TRUE(QTest::qWaitFor([&] { return a.Editor != nullptr; }, 2000));
  EXPECT_FALSE(a.Editor->isVisible());  // not during the splash
  ASSERT_TRUE(QTest::qWaitFor([&] { return a.Editor->isVisible(); }, 5000));
  EXPECT_TRUE(ShownTitle(*a.Editor).endsWith(QStringLiteral("[Calm Evening]")))
      << ShownTitle(*a.Editor).toStdString();
  EXPECT_EQ(a.Main->Folders().SelectedLibraryPath(), library);
  EXPECT_EQ(Control<QLineEdit>(*a.Main, "libraryFileEdit")->text(), QStringLiteral("LIB1.SVL"));
  EXPECT_TRUE(dialogs.Calls().empty());

  // Once the program runs, a file that is no session is refused as Open
  // refuses it, and the session in the editor stays.
  dialogs.AnswerButton(MsgResult::Ok);
  a.OpenFiles({root + QStringLiteral("/notes.txt")});
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  EXPECT_EQ(dialogs.Calls()[0].Message.Text, QStringLiteral("Unsupported session file format"));
  EXPECT_TRUE(ShownTitle(*a.Editor).endsWith(QStringLiteral("[Calm Evening]")));
}

}  // namespace
}  // namespace ovrel::test
