// The program's windows answer the remote control requests that show the
// main window and end the program. Runs on a private session bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <utility>

#include "app/OvrelApplication.h"
#include "library/LibraryImage.h"
#include "memory/MemoryWindow.h"
#include "support/DevSim.h"
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

// A quit request while the memory window holds unwritten changes asks, and
// "No" leaves every window open.
TEST_F(RemoteWiring, QuitAsksAboutUnwrittenMemoryChangesAndNoKeepsEveryWindow) {
  WriteTwoSessionLibrary();
  app->Main->ShowInFront();
  QTest::mouseClick(Control<QPushButton>(*app->Main, "memoryButton"), Qt::LeftButton);
  auto* memory = app->Main->findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(memory && memory->OpenLibrary(root + "/two.svl"));
  Control<QTableWidget>(*memory, "sessionTable")->selectRow(0);
  QTest::mouseClick(Control<QPushButton>(*memory, "removeButton"), Qt::LeftButton);

  dialogs.AnswerButton(MsgResult::No);
  Send(RemoteQuit);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.Calls().empty(); }, 5000));
  QTest::qWait(300);  // a quit that went on would close the windows now
  EXPECT_TRUE(app->Main->isVisible());
  EXPECT_TRUE(memory->isVisible());
  EXPECT_TRUE(memory->Changed());
}

// A library uploaded by another program reaches an open memory window.
TEST_F(RemoteWiring, ALibraryUploadedByAnotherProgramShowsInTheMemoryWindow) {
  const auto bytes = [](const std::vector<SessionRecord>& sessions) {
    const std::vector<std::uint8_t> image =
        BuildLibraryImage(sessions).value_or(std::vector<std::uint8_t>{});
    return QByteArray(reinterpret_cast<const char*>(image.data()),
                      static_cast<qsizetype>(image.size()));
  };
  const std::vector<SessionRecord> one = {{1, 0, {{36, 10, 10, 100, 100}}}};
  const std::vector<SessionRecord> two = {{1, 0, {{36, 10, 10, 100, 100}}},
                                          {2, 0, {{40, 10, 10, 100, 100}}}};
  const QByteArray oneBytes = bytes(one);
  std::vector<std::uint8_t> memory(oneBytes.begin(), oneBytes.end());
  memory.resize(SesMemSize, 0);
  DevSim sim({"--link", (root + "/ttyR").toStdString()}, memory);
  WriteFile(programFolder + "/" + kLibToUplFile, bytes(two));
  app->Main->Link().SetPort(root + "/ttyR");
  app->Main->ShowInFront();
  QTest::mouseClick(Control<QPushButton>(*app->Main, "memoryButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app->Main->Link().Busy(); }, 30000));
  auto* memoryWindow = app->Main->findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(memoryWindow);
  ASSERT_EQ(memoryWindow->Sessions(), one);

  Send(RemoteUploadLibrary);
  EXPECT_TRUE(QTest::qWaitFor([&] { return memoryWindow->Sessions() == two; }, 60000));
  EXPECT_TRUE(Control<QLabel>(*memoryWindow, "sourceLabel")
                  ->text()
                  .endsWith("after another program uploaded a library"));
}

// Message boxes as the user meets them: modal, each with its own event loop.
// The first one stays open until Until says so (or five seconds have
// passed), the others are closed at once. Records how deeply they nested.
class ModalBoxes : public ScriptedDialogs {
 public:
  std::function<bool()> Until;
  std::function<void()> WhenClosing;
  int Depth = 0;
  int MaxDepth = 0;
  MsgResult Message(const MessageRequest& request) override {
    MaxDepth = std::max(MaxDepth, ++Depth);
    const std::function<bool()> until = std::exchange(Until, nullptr);
    const std::function<void()> closing = std::exchange(WhenClosing, nullptr);
    QMessageBox box(QMessageBox::NoIcon, request.Caption, request.Text, QMessageBox::Ok);
    QElapsedTimer open;
    open.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &box, [&] {
      if (until && !until() && open.elapsed() < 5000) return;
      poll.stop();
      if (closing) closing();
      box.accept();
    });
    poll.start(10);
    box.exec();
    --Depth;
    return MsgResult::Ok;
  }
};

TEST_F(RemoteWiring, AFloodOfFailingRequestsRunsOneAfterAnotherFromTheMainLoop) {
  app.reset();
  ModalBoxes boxes;
  StartupOptions options;
  options.SplashMs = 60000;
  options.Main.ProgramFile = programFolder + QStringLiteral("/ovrelware");
  app = std::make_unique<OvrelApplication>(boxes, options);
  ASSERT_TRUE(app->Remote && app->Remote->Active());
  MainWindow& main = *app->Main;

  // As in the program, all of it runs inside the application's loop; the
  // boxes open loops of their own on top of it.
  QEventLoop applicationLoop;
  QTimer::singleShot(0, [&] {
    struct Quit {
      QEventLoop& Loop;
      ~Quit() { Loop.quit(); }
    } quit{applicationLoop};
    // No port: every upload fails at once with the same message.
    constexpr int kRequests = 300;
    for (int i = 0; i < kRequests; ++i) Send(RemoteUploadLibrary);
    // A box of the window is open while the requests arrive: they wait for it.
    bool startedInsideTheBox = true;
    boxes.Until = [&] { return main.Link().Busy(); };
    boxes.WhenClosing = [&] {
      QTest::qWait(100);
      startedInsideTheBox = main.findChild<QMessageBox*>(QStringLiteral("remoteFailureBox")) != nullptr;
    };
    boxes.AnswerPath(root + QStringLiteral("/notalibrary.txt"));
    Control<QPushButton>(main, "selectLibraryButton")->click();
    EXPECT_FALSE(startedInsideTheBox);

    EXPECT_TRUE(QTest::qWaitFor([&] { return !main.Link().Busy(); }, 60000));
    EXPECT_EQ(boxes.MaxDepth, 1);  // the window's own box only
    auto* failures = main.findChild<QMessageBox*>(QStringLiteral("remoteFailureBox"));
    ASSERT_NE(failures, nullptr);
    EXPECT_TRUE(failures->text().endsWith(QStringLiteral("(repeated %1 times)").arg(kRequests)))
        << failures->text().toStdString();
    EXPECT_TRUE(failures->isVisible());
    EXPECT_FALSE(failures->isModal());
  });
  applicationLoop.exec();
}

}  // namespace
}  // namespace ovrel::test
