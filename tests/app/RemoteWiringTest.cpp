// The program's windows answer the remote control requests that show the
// main window and end the program. Runs on a private session bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTest>

#include "app/OvrelApplication.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"

namespace ovrel::test {
namespace {

class RemoteWiring : public MainWindowFixture {
 protected:
  void SetUp() override {
    if (qgetenv("OVREL_PRIVATE_BUS") != "1") GTEST_SKIP() << "needs a private session bus";
    MainWindowFixture::SetUp();
    StartupOptions options;
    options.SplashMs = 60000;
    options.Main.ProgramFile = programFolder + QStringLiteral("/ovrelware");
    app = std::make_unique<OvrelApplication>(dialogs, options);
    ASSERT_TRUE(app->Remote && app->Remote->Active());
  }
  void TearDown() override {
    app.reset();
    MainWindowFixture::TearDown();
  }
  // Sends a request as another program would; it is served from the event loop.
  static void Send(uint code) {
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
    QDBusMessage call = QDBusMessage::createMethodCall(kRemoteService, kRemotePath,
                                                       kRemoteInterface, QStringLiteral("Request"));
    call << code << QString();
    client.asyncCall(call);
  }
  std::unique_ptr<OvrelApplication> app;
};

TEST_F(RemoteWiring, ShowDuringTheSplashAndQuitThroughTheMainWindow) {
  EXPECT_FALSE(app->Main->isVisible());
  Send(RemoteShow);
  EXPECT_TRUE(QTest::qWaitFor([&] { return app->Main->isVisible(); }, 5000));
  EXPECT_TRUE(app->Splash->isVisible());  // the splash runs its course

  QTest::mouseClick(Control<QPushButton>(*app->Main, "sessionEditorButton"), Qt::LeftButton);
  Send(RemoteQuit);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !app->Main->isVisible(); }, 5000));
  EXPECT_FALSE(app->Editor->isVisible());
  EXPECT_FALSE(app->Splash->isVisible());
}

}  // namespace
}  // namespace ovrel::test
