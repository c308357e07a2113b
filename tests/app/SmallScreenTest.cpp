// The windows on a small screen (640 x 480, as 1280 x 960 at twice the
// scale): each opens inside the screen's available area, the memory window
// with every control reachable and its picture whole.
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

#include "library/LibraryImage.h"
#include "memory/MemoryWindow.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"
#include "ui/UserSettings.h"

namespace ovrel::test {
namespace {

// The offscreen platform with one small screen, chosen before the test main
// makes the application.
const bool kSmallScreen = [] {
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" OVREL_SMALL_SCREEN_CONFIG);
  return true;
}();

using SmallScreen = MainWindowFixture;

QRect Room() {
  return QGuiApplication::primaryScreen()->availableGeometry();
}

TEST_F(SmallScreen, TheMemoryWindowFitsWithEveryControlAndItsPictureWhole) {
  ASSERT_TRUE(kSmallScreen);
  ASSERT_LE(Room().height(), 480) << "the platform did not take the small screen";
  WriteTwoSessionLibrary();
  MainWindow& f = MakeForm();
  f.ShowInFront();
  QTest::mouseClick(Control<QPushButton>(f, "memoryButton"), Qt::LeftButton);  // no port
  auto* window = f.findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(window && window->isVisible());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  ASSERT_TRUE(window->OpenLibrary(root + "/two.svl"));
  Control<QTableWidget>(*window, "sessionTable")->selectRow(0);

  EXPECT_TRUE(Room().contains(window->frameGeometry()));
  for (const char* name : {"writeButton", "saveLibraryButton", "removeButton", "extractButton"}) {
    auto* button = Control<QPushButton>(*window, name);
    const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
    EXPECT_TRUE(Room().contains(onScreen)) << name;
  }
  auto* picture = Control<QLabel>(*window, "pictureLabel");
  const QPixmap shown = picture->pixmap();
  ASSERT_FALSE(shown.isNull());
  EXPECT_LE(shown.deviceIndependentSize().width(), picture->contentsRect().width());
  EXPECT_LE(shown.deviceIndependentSize().height(), picture->contentsRect().height());
}

TEST_F(SmallScreen, AWindowKeptLargerOrElsewhereComesBackInsideTheScreen) {
  ASSERT_LE(Room().height(), 480) << "the platform did not take the small screen";
  QWidget kept;
  kept.setObjectName(QStringLiteral("keptWindow"));
  kept.setGeometry(-300, 200, 1200, 900);  // as on a larger screen, or another one
  UserSettings().SaveGeometry(kept);
  QWidget again;
  again.setObjectName(QStringLiteral("keptWindow"));
  ASSERT_TRUE(UserSettings().RestoreGeometry(again));
  again.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
  QTest::qWait(50);  // fitted again once its frame is known
  EXPECT_TRUE(Room().contains(again.frameGeometry()))
      << again.frameGeometry().x() << "," << again.frameGeometry().y() << " "
      << again.frameGeometry().width() << "x" << again.frameGeometry().height();
}

}  // namespace
}  // namespace ovrel::test
