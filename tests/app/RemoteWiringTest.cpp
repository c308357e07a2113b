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

// The main window's status line tells how each remote request ended, as it
// does for its own buttons, and a device found by a request counts as
// connected.
TEST_F(RemoteWiring, TheStatusLineFollowsTheRemoteRequests) {
  const std::vector<SessionRecord> one = {{1, 0, {{36, 10, 10, 100, 100}}}};
  const std::vector<std::uint8_t> library =
      BuildLibraryImage(one).value_or(std::vector<std::uint8_t>{});
  std::vector<std::uint8_t> memory = library;
  memory.resize(SesMemSize, 0);
  DevSim sim({"--link", (root + "/ttyS").toStdString()}, memory);
  SetPorts({root + "/ttyS"});
  WriteFile(programFolder + "/" + kLibToUplFile,
            QByteArray(reinterpret_cast<const char*>(library.data()),
                       static_cast<qsizetype>(library.size())));
  WriteFile(programFolder + "/" + kSesToUplFile,
            "version=23\r\n1,0,\r\n40,10,10,100,100,\r\n0,\r\n");
  app->Main->ShowInFront();
  struct Case {
    uint Code;
    const char* Status;
  };
  const Case cases[] = {
      {RemoteConnect, "Sorvani successfully detected"},
      {RemoteUploadLibrary, "Sorvani session library uploaded successfully"},
      {RemoteUploadSession, "Single session uploaded to Sorvani successfully"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Code);
    Send(c.Code);
    EXPECT_TRUE(QTest::qWaitFor([&] { return app->Main->PanelText(0) == c.Status; }, 60000))
        << app->Main->PanelText(0).toStdString();
    EXPECT_EQ(app->Main->PanelText(1), QStringLiteral("Connected"));
    EXPECT_TRUE(Control<QPushButton>(*app->Main, "uploadLibraryButton")->isEnabled());
  }
}

// Message boxes as the user meets them: modal, each with its own event loop.
// The first one stays open until Until says so (or five seconds have
// passed), the others are closed at once. Records how deeply they nested.
class ModalBoxes : public ScriptedDialogs {
 public:
  std::function<void()> WhenOpen;
  std::function<bool()> Until;
  std::function<void()> WhenClosing;
  int Depth = 0;
  int MaxDepth = 0;
  MsgResult Message(const MessageRequest& request) override {
    MaxDepth = std::max(MaxDepth, ++Depth);
    std::function<void()> open = std::exchange(WhenOpen, nullptr);
    const std::function<bool()> until = std::exchange(Until, nullptr);
    const std::function<void()> closing = std::exchange(WhenClosing, nullptr);
    QMessageBox box(QMessageBox::NoIcon, request.Caption, request.Text, QMessageBox::Ok);
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &box, [&] {
      if (open) std::exchange(open, nullptr)();
      if (until && !until() && clock.elapsed() < 5000) return;
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

// As the program starts: the windows are made from the event loop once the
// splash shows. A library upload requested while the box of a failed
// Memory write is open waits for the box to close; then it runs, and the
// Memory window keeps its unwritten list marked as changed.
TEST_F(RemoteWiring, ARequestWaitsForTheBoxOfAFailedMemoryWrite) {
  app.reset();
  const std::vector<SessionRecord> three = {{2, 0, {{36, 10, 10, 100, 100}}},
                                            {1, 0, {{40, 10, 10, 100, 100}}},
                                            {3, 0, {{44, 10, 10, 100, 100}}}};
  const std::vector<SessionRecord> theirs = {{4, 0, {{48, 10, 10, 100, 100}}}};
  const auto padded = [](const std::vector<SessionRecord>& sessions) {
    std::vector<std::uint8_t> image =
        BuildLibraryImage(sessions).value_or(std::vector<std::uint8_t>{});
    image.resize(SesMemSize, 0);
    return image;
  };
  const std::vector<std::uint8_t> theirLibrary =
      BuildLibraryImage(theirs).value_or(std::vector<std::uint8_t>{});
  WriteFile(programFolder + "/" + kLibToUplFile,
            QByteArray(reinterpret_cast<const char*>(theirLibrary.data()),
                       static_cast<qsizetype>(theirLibrary.size())));
  DevSim sim({"--link", (root + "/ttyW").toStdString(), "--no-reply", "D:3"}, padded(three));
  SetPorts({root + "/ttyW"});
  ModalBoxes boxes;
  StartupOptions options;
  options.SplashMs = 60000;
  options.CreateHiddenWindowsLater = true;
  options.Main.ProgramFile = programFolder + QStringLiteral("/ovrelware");
  options.Timing = LinkTiming{}.Scaled(0.4);
  app = std::make_unique<OvrelApplication>(boxes, options);

  QEventLoop applicationLoop;
  QTimer::singleShot(0, [&] {
    struct Quit {
      QEventLoop& Loop;
      ~Quit() { Loop.quit(); }
    } quit{applicationLoop};
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->Main && app->Remote; }, 10000));
    ASSERT_TRUE(app->Remote->Active());
    app->Device->SetPort(root + "/ttyW");
    QTest::mouseClick(Control<QPushButton>(*app->Main, "memoryButton"), Qt::LeftButton);
    MemoryWindow* memory = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          memory = app->Main->findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
          return memory && memory->Sessions().size() == 3;
        },
        30000));
    Control<QTableWidget>(*memory, "sessionTable")->selectRow(0);
    QTest::mouseClick(Control<QPushButton>(*memory, "removeButton"), Qt::LeftButton);

    bool startedInsideTheBox = false;
    QMetaObject::Connection started;
    boxes.WhenOpen = [&] {
      started = QObject::connect(app->Device.get(), &DeviceService::BusyChanged,
                                 [&](bool busy) { startedInsideTheBox |= busy; });
      Send(RemoteUploadLibrary);
    };
    boxes.Until = [&] { return app->Device->Busy(); };  // the request is queued
    boxes.WhenClosing = [&] {
      QTest::qWait(300);  // time enough for queued work to start
      QObject::disconnect(started);
    };
    QTest::mouseClick(Control<QPushButton>(*memory, "writeButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.memory() == padded(theirs); }, 60000));
    EXPECT_FALSE(startedInsideTheBox);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app->Device->Busy(); }, 60000));
    QTest::qWait(100);
    // Not reloaded: the list is the window's edit, marked as not written.
    EXPECT_EQ(memory->Sessions(), (std::vector<SessionRecord>{three[1], three[2]}));
    EXPECT_TRUE(memory->Changed());
    EXPECT_TRUE(
        Control<QLabel>(*memory, "sourceLabel")->text().startsWith("Sorvani memory changed"))
        << Control<QLabel>(*memory, "sourceLabel")->text().toStdString();
  });
  applicationLoop.exec();
}

}  // namespace
}  // namespace ovrel::test
