// Remote control on a private session bus (the test runs inside
// dbus-run-session): a client on a second bus connection drives a real
// device link and port against the device emulator.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include "device/jobs/DeviceJobs.h"
#include "device/jobs/DeviceService.h"
#include "device/link/DeviceLink.h"
#include "device/remote/RemoteControl.h"
#include "device/serial/SerialPort.h"
#include "format/SessionFile.h"
#include "support/DevSim.h"

namespace ovrel {
namespace {

using Reply = std::pair<uint, uint>;
using Bytes = std::vector<std::uint8_t>;

// The library of one default session, and the empty library.
const Bytes kOneSessionLib = {0x17, 0x01, 0x00, 0x0E, 0x00, 0x06, 0x01, 0x00,
                              0x24, 0x0A, 0x0A, 0x64, 0x64, 0x00, 0x3B};
const Bytes kEmptyLib = {0x17, 0x00, 0x00, 0x04, 0x13};
const QString kUploadSteps =
    QStringLiteral("ICW") + QString(16, QChar('D')) + QStringLiteral("EXO");
// The read that keeps what an upload replaces.
const QString kReadSteps = QStringLiteral("I") + QString(16, QChar('r')) + QStringLiteral("O");

class RecordingUi : public LinkUi {
 public:
  void PortsListed(const QStringList&) override {}
  void ProbingPort(int) override {}
  void Progress(const LinkProgress& p) override {
    if (p.Count > 0 && p.Command != 0) Steps += QChar(p.Command);
  }
  void BusyChanged(bool busy) override {
    Busy = busy;
    if (!busy) ++Ended;
    if (busy && OnStart) std::exchange(OnStart, nullptr)();
  }

  // Runs once, when the next device operation starts.
  std::function<void()> OnStart;

  QStringList Messages;
  QString Steps;  // the commands sent, in order
  bool Busy = false;
  int Ended = 0;  // device operations that ended
};

}  // namespace

// The other program: its own bus connection, calling Request and receiving
// the replies sent to its unique name.
class ReplyClient : public QObject {
  Q_OBJECT
 public:
  explicit ReplyClient(const QString& connectionName)
      : Bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
    Bus.connect(QString(), kRemotePath, kRemoteInterface, QStringLiteral("Reply"), this,
                SLOT(OnReply(uint, uint)));
    Bus.connect(QString(), kRemotePath, kRemoteInterface, QStringLiteral("Failure"), this,
                SLOT(OnFailure(uint, QString)));
  }
  ~ReplyClient() override { QDBusConnection::disconnectFromBus(Bus.name()); }

  QString Name() const { return Bus.baseService(); }
  // Calls Request without waiting for its answer.
  QDBusPendingCall Send(uint code, const QString& peer = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(kRemoteService, kRemotePath,
                                                       kRemoteInterface, QStringLiteral("Request"));
    call << code << peer;
    Calls.push_back(Bus.asyncCall(call));
    return Calls.back();
  }
  // Every Request call so far was answered without an error.
  bool AllAnswered() const {
    for (const QDBusPendingCall& c : Calls) {
      if (!c.isFinished() || c.isError()) return false;
    }
    return true;
  }

  QList<Reply> Replies;
  // The Failure signals, as "code: reason", and how many replies came before each.
  QStringList Failures;
  QList<qsizetype> RepliesBeforeFailure;
  // Runs for every reply as it arrives.
  std::function<void(Reply)> OnEach;

 public slots:
  void OnReply(uint code, uint outcome) {
    Replies.append({code, outcome});
    if (OnEach) OnEach({code, outcome});
  }
  void OnFailure(uint code, const QString& reason) {
    Failures << QString::number(code) + QStringLiteral(": ") + reason;
    RepliesBeforeFailure << Replies.size();
  }

 private:
  QDBusConnection Bus;
  QList<QDBusPendingCall> Calls;
};

namespace {

class RemoteControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never on the desktop's own bus, where a running program may own the name.
    if (qgetenv("OVREL_PRIVATE_BUS") != "1")
      GTEST_SKIP() << "run through ctest, or as dbus-run-session -- env OVREL_PRIVATE_BUS=1 "
                      "remote_tests";
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
        << "the remote control tests run inside dbus-run-session";
    ASSERT_TRUE(work.isValid());
    Client = std::make_unique<ReplyClient>(QStringLiteral("client"));
    oldDir = QDir::currentPath();
    QDir::setCurrent(work.path());
    oldPorts = qgetenv("OVREL_PORTS");
  }
  void TearDown() override {
    Remote.reset();
    Device.reset();
    Client.reset();
    QDir::setCurrent(oldDir);
    qputenv("OVREL_PORTS", oldPorts);
  }

  // Starts the emulator, listed after a port that does not exist, and
  // serves the remote control on a link to it.
  void Serve(const std::vector<std::string>& simArgs = {}, const Bytes& memory = {}) {
    Sim = std::make_unique<test::DevSim>(simArgs, memory);
    SimPort = QString::fromStdString(Sim->path());
    qputenv("OVREL_PORTS", (work.filePath("no-such-port") + ":" + SimPort).toLocal8Bit());
    Device = std::make_unique<DeviceService>(LinkTiming{}.Scaled(0.3));
    QObject::connect(Device.get(), &DeviceService::Progress,
                     [this](const LinkProgress& p) { Ui.Progress(p); });
    QObject::connect(Device.get(), &DeviceService::BusyChanged,
                     [this](bool busy) { Ui.BusyChanged(busy); });
    Device->SetPort(SimPort);  // as if picked in the port list
    RemoteCallbacks callbacks;
    callbacks.ShowMainWindow = [this] {
      ++Shown;
      if (ShowThrows) throw std::runtime_error("the window is gone");
    };
    callbacks.MayQuit = [this] { return MayQuit ? MayQuit() : true; };
    callbacks.Quit = [this] { ++Quits; };
    callbacks.ShowError = [this](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& error) {
        Errors << QString::fromUtf8(error.what());
      }
    };
    callbacks.ShowResult = [this](const JobResult& r) { Ui.Messages << r.Message.Text(); };
    Remote = std::make_unique<RemoteControl>(*Device, callbacks);
    ASSERT_TRUE(Remote->Active());
  }

  void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(work.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  static QByteArray AsBytes(const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
  }
  Bytes DeviceLibrary(size_t n) const {
    const Bytes memory = Sim->memory();
    return Bytes(memory.begin(), memory.begin() + static_cast<long>(std::min(n, memory.size())));
  }
  bool WaitForReplies(qsizetype n, int ms = 20000) {
    return QTest::qWaitFor([&] { return Client->Replies.size() >= n; }, ms);
  }
  // Lets the event loop run, so that a stray reply would arrive.
  static void Settle() { QTest::qWait(300); }

  QTemporaryDir work;
  QString oldDir;
  QByteArray oldPorts;
  std::unique_ptr<test::DevSim> Sim;
  QString SimPort;
  RecordingUi Ui;
  std::unique_ptr<DeviceService> Device;
  std::unique_ptr<RemoteControl> Remote;
  std::unique_ptr<ReplyClient> Client;
  int Shown = 0;
  int Quits = 0;
  std::function<bool()> MayQuit;  // the user's answer about unsaved work
  bool ShowThrows = false;
  QStringList Errors;
};

TEST_F(RemoteControlTest, ConnectBeforeAnyRegisterFindsTheDeviceWithoutReply) {
  Serve();
  Device->SetPort({});                          // nothing picked yet
  Client->Send(RemoteConnect, Client->Name());  // the peer counts for 989 only
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ui.Ended == 1; }, 10000));
  EXPECT_EQ(Ui.Steps, "S");
  EXPECT_EQ(Device->Port(), SimPort);  // found on the second listed port
  EXPECT_TRUE(Remote->ClientBusName().isEmpty());
  Settle();
  EXPECT_TRUE(Client->Replies.isEmpty());
  EXPECT_TRUE(Client->AllAnswered());

  Client->Send(RemoteRegister, Client->Name());
  Client->Send(RemoteConnect);
  ASSERT_TRUE(WaitForReplies(2));
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {991, 1}}));
  EXPECT_EQ(Remote->ClientBusName(), Client->Name());
}

TEST_F(RemoteControlTest, ShowUnknownCodesAndTheNullPeer) {
  Serve();
  Client->Send(RemoteRegister, Client->Name());
  Client->Send(1000);
  Client->Send(0);
  Client->Send(998, Client->Name());
  Client->Send(RemoteShow);
  ASSERT_TRUE(WaitForReplies(2));
  // Unknown codes came before 990 and were answered by nothing.
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {990, 0}}));
  EXPECT_EQ(Shown, 1);

  // An empty peer is the null handle: requests still run, replies go nowhere.
  Client->Send(RemoteRegister, QString());
  Client->Send(RemoteShow);
  Client->Send(RemoteConnect);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ui.Ended == 1 && Shown == 2; }, 10000));
  Settle();
  EXPECT_EQ(Client->Replies.size(), 2);
  EXPECT_TRUE(Client->AllAnswered());
}

TEST_F(RemoteControlTest, UploadsTheLibraryInTheWorkingFolder) {
  Serve();
  WriteFile(kLibToUplFile, AsBytes(kOneSessionLib));
  Client->Send(RemoteRegister, Client->Name());
  Client->Send(RemoteUploadLibrary);
  ASSERT_TRUE(WaitForReplies(2));
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {993, 1}}));
  // What the upload replaced was read and kept first.
  EXPECT_EQ(Ui.Steps, kReadSteps + kUploadSteps);
  EXPECT_EQ(DeviceLibrary(kOneSessionLib.size()), kOneSessionLib);

  // Without the file the upload fails and says so; the client learns why
  // just before it gets 993, 0.
  QFile::remove(work.filePath(kLibToUplFile));
  Client->Send(RemoteUploadLibrary);
  ASSERT_TRUE(WaitForReplies(3));
  EXPECT_EQ(Client->Replies.last(), (Reply{993, 0}));
  EXPECT_EQ(Ui.Messages, QStringList{JobTextOf(JobText::LibFileNotFound)});
  // The client is told the file it looked for too.
  ASSERT_EQ(Client->Failures.size(), 1);
  EXPECT_TRUE(Client->Failures[0].startsWith("993: " + JobTextOf(JobText::LibFileNotFound)));
  EXPECT_TRUE(Client->Failures[0].endsWith(kLibToUplFile)) << Client->Failures[0].toStdString();
  EXPECT_EQ(Client->RepliesBeforeFailure, QList<qsizetype>{2});
}

TEST_F(RemoteControlTest, AddsTheSessionInTheWorkingFolderToTheDevice) {
  Serve({}, kEmptyLib);
  WriteFile(kSesToUplFile, QByteArray::fromStdString(SessionFileText(Session{})));
  Client->Send(RemoteRegister, Client->Name());
  Client->Send(RemoteUploadSession);
  ASSERT_TRUE(WaitForReplies(2, 30000));
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {992, 1}}));
  EXPECT_EQ(DeviceLibrary(kOneSessionLib.size()), kOneSessionLib);
  QFile merged(work.filePath(kTempSesLibFile));
  ASSERT_TRUE(merged.open(QIODevice::ReadOnly));
  EXPECT_EQ(merged.readAll(), AsBytes(kOneSessionLib));
}

// What happens during an upload is arranged from its start.
TEST_F(RemoteControlTest, ARequestDuringARemoteUploadWaitsForIt) {
  Serve({"--c-delay", "1200"});
  WriteFile(kLibToUplFile, AsBytes(kOneSessionLib));
  std::optional<bool> answeredWhileBusy;
  std::unique_ptr<QDBusPendingCallWatcher> watcher;
  Ui.OnStart = [&] {
    watcher = std::make_unique<QDBusPendingCallWatcher>(Client->Send(RemoteConnect));
    QObject::connect(watcher.get(), &QDBusPendingCallWatcher::finished,
                     [&] { answeredWhileBusy = Ui.Busy; });
  };
  Client->Send(RemoteRegister, Client->Name());
  Client->Send(RemoteUploadLibrary);
  ASSERT_TRUE(WaitForReplies(3));
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {993, 1}, {991, 1}}));
  // The probe came after the whole upload, its read included.
  EXPECT_EQ(Ui.Steps, kReadSteps + kUploadSteps + "S");
  // The call itself was answered at once, while the upload still ran.
  EXPECT_EQ(answeredWhileBusy, std::optional<bool>(true));
}

TEST_F(RemoteControlTest, ARequestDuringAButtonUploadWaitsForIt) {
  Serve({"--c-delay", "1200"});
  WriteFile(kLibToUplFile, AsBytes(kOneSessionLib));
  QList<bool> busyAtReply;
  Client->OnEach = [&](Reply) { busyAtReply << Ui.Busy; };
  Ui.OnStart = [&] {
    Client->Send(RemoteRegister, Client->Name());
    Client->Send(RemoteConnect);
  };
  bool uploaded = false;
  // The button's upload without its backup read: the upload alone on the wire.
  WriteOptions plain;
  plain.Backup = false;
  Device->UploadFile(kLibToUplFile, plain, [&](const JobResult& r) { uploaded = r.Ok(); });
  ASSERT_TRUE(WaitForReplies(2));
  EXPECT_TRUE(uploaded);
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {991, 1}}));
  // Registering needs no device: it was answered during the upload.
  EXPECT_EQ(busyAtReply.value(0), true);
  EXPECT_EQ(Ui.Steps, kUploadSteps + "S");
}

// Two programs drive the device at once: each one that registered gets the
// replies to its own requests, whichever registered last, and a failure
// goes to the client whose request failed.
TEST_F(RemoteControlTest, EveryRegisteredClientGetsTheRepliesToItsOwnRequests) {
  Serve({}, kOneSessionLib);
  WriteFile(kLibToUplFile, AsBytes(kEmptyLib));
  ReplyClient other(QStringLiteral("other"));
  Client->Send(RemoteRegister, Client->Name());
  ASSERT_TRUE(WaitForReplies(1));
  other.Send(RemoteRegister, other.Name());
  ASSERT_TRUE(QTest::qWaitFor([&] { return other.Replies.size() == 1; }, 20000));
  Client->Send(RemoteUploadLibrary);
  other.Send(RemoteConnect);
  other.Send(RemoteUploadSession);  // no SesToUpl.svs: fails
  ASSERT_TRUE(WaitForReplies(2));
  ASSERT_TRUE(QTest::qWaitFor([&] { return other.Replies.size() == 3; }, 20000));
  Settle();
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {993, 1}}));
  EXPECT_EQ(other.Replies, (QList<Reply>{{989, 1}, {991, 1}, {992, 0}}));
  EXPECT_TRUE(Client->Failures.isEmpty());
  EXPECT_EQ(other.Failures.size(), 1);
  EXPECT_EQ(DeviceLibrary(kEmptyLib.size()), kEmptyLib);
}

TEST_F(RemoteControlTest, QuitRepliesThenEndsTheProgram) {
  Serve();
  Client->Send(RemoteRegister, Client->Name());
  Client->Send(RemoteQuit);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Quits == 1 && Client->Replies.size() == 2; }, 10000));
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {999, 1}}));
  // When the program stays (the user kept it open), requests go on.
  Client->Send(RemoteShow);
  ASSERT_TRUE(WaitForReplies(3));
  EXPECT_EQ(Client->Replies.last(), (Reply{990, 0}));
}

// While the user is asked about unsaved work, 990 and 989 are answered; the
// reply to 999 follows the answer: 0 when the user chose to stay.
TEST_F(RemoteControlTest, QuitWaitsForTheUsersAnswerAndOthersAreAnsweredMeanwhile) {
  Serve();
  Client->Send(RemoteRegister, Client->Name());
  ASSERT_TRUE(WaitForReplies(1));
  MayQuit = [this] {
    Client->Send(RemoteShow);
    const bool answered = WaitForReplies(2, 10000);  // the question box is open
    EXPECT_TRUE(answered);
    return false;  // Cancel
  };
  Client->Send(RemoteQuit);
  ASSERT_TRUE(WaitForReplies(3));
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {990, 0}, {999, 0}}));
  EXPECT_EQ(Quits, 0);

  MayQuit = [] { return true; };  // Yes (saved) or No (discarded)
  Client->Send(RemoteQuit);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Quits == 1 && Client->Replies.size() == 4; }, 10000));
  EXPECT_EQ(Client->Replies.last(), (Reply{999, 1}));
}

TEST_F(RemoteControlTest, AnErrorEndsTheRequestWithoutReply) {
  Serve();
  ShowThrows = true;
  Client->Send(RemoteRegister, Client->Name());
  Client->Send(RemoteShow);
  Client->Send(RemoteRegister, Client->Name());
  ASSERT_TRUE(WaitForReplies(2));
  EXPECT_EQ(Client->Replies, (QList<Reply>{{989, 1}, {989, 1}}));
  EXPECT_EQ(Errors, QStringList{"the window is gone"});
}

TEST_F(RemoteControlTest, ASecondCopyRunsWithoutRemoteControl) {
  Serve();
  QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second");
  {
    testing::internal::CaptureStderr();
    RemoteControl second(*Device, {}, other);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(second.Active());
    EXPECT_NE(said.find("org.sorvani.Ovrelware"), std::string::npos) << said;
  }
  EXPECT_TRUE(Remote->Active());
  // The first copy still answers.
  Client->Send(RemoteRegister, Client->Name());
  ASSERT_TRUE(WaitForReplies(1));
  // Once it has gone, the name is free again.
  Remote.reset();
  {
    RemoteControl third(*Device, {}, other);
    EXPECT_TRUE(third.Active());
  }
  QDBusConnection::disconnectFromBus("second");
}

}  // namespace
}  // namespace ovrel

#include "RemoteControlTest.moc"
