// The desktop program asked to end in the middle of a write (the session
// ends, its terminal closes): it finishes the write, the remote client that
// asked for it gets its reply, and only then does it end. A program killed
// in the middle of a write leaves a mark that the next start finds.
// Runs the real program (offscreen) on a private session bus against the
// device emulator.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "device/remote/RemoteControl.h"
#include "support/DevSim.h"
#include "tests/device/LinkTestSupport.h"

namespace ovrel::test {
namespace {

class ProgramEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qgetenv("OVREL_PRIVATE_BUS") != "1") GTEST_SKIP() << "needs a private session bus";
    ASSERT_TRUE(tmp_.isValid());
    root = QDir(tmp_.path()).canonicalPath();
    // The program works beside itself when its folder is writable: there,
    // in a folder of the test's own.
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("bin")));
    programFolder = root + QStringLiteral("/bin");
    ASSERT_TRUE(QFile::copy(QStringLiteral(OVREL_PROGRAM_PATH), programFolder + "/ovrelware"));
  }
  void TearDown() override {
    if (program && program->state() != QProcess::NotRunning) {
      program->kill();
      program->waitForFinished();
    }
  }

  // Starts the program with the emulator as the only port, and waits until
  // it serves the remote control.
  void StartProgram(const QString& port) {
    program = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("OVREL_PORTS"), port);
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    program->setProcessEnvironment(env);
    program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program->start(programFolder + "/ovrelware", {});
    ASSERT_TRUE(program->waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
          return QDBusConnection::sessionBus().interface()->isServiceRegistered(kRemoteService);
        },
        30000));
  }
  // The replies the program sent to this test's connection.
  QList<std::pair<uint, uint>> replies;
  void Request(uint code) {
    QDBusMessage call = QDBusMessage::createMethodCall(kRemoteService, kRemotePath,
                                                       kRemoteInterface, QStringLiteral("Request"));
    call << code << QDBusConnection::sessionBus().baseService();
    QDBusConnection::sessionBus().asyncCall(call);
  }
  bool WaitForReply(uint code, int ms = 60000) {
    return QTest::qWaitFor(
        [&] {
          return std::ranges::any_of(replies, [&](const auto& r) { return r.first == code; });
        },
        ms);
  }
  // Connects the program to the emulator and starts an upload of library,
  // waiting until it has written its first blocks.
  void StartUpload(DevSim& sim, const Bytes& library) {
    WriteFile(programFolder + "/" + kLibToUplFile,
              QByteArray(reinterpret_cast<const char*>(library.data()),
                         static_cast<qsizetype>(library.size())));
    Request(RemoteRegister);
    Request(RemoteConnect);
    ASSERT_TRUE(WaitForReply(RemoteConnect));
    Request(RemoteUploadLibrary);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const std::string logged = LoggedCommands(sim.log());
          return std::count(logged.begin(), logged.end(), 'D') >= 3;
        },
        60000));
  }

  QString root;
  QString programFolder;
  std::unique_ptr<QProcess> program;

 private:
  QTemporaryDir tmp_;
};

}  // namespace

// Hears the replies sent to the test's bus connection.
class ReplyListener : public QObject {
  Q_OBJECT
 public:
  explicit ReplyListener(QList<std::pair<uint, uint>>& replies) : replies_(replies) {
    QDBusConnection::sessionBus().connect(QString(), kRemotePath, kRemoteInterface,
                                          QStringLiteral("Reply"), this, SLOT(OnReply(uint, uint)));
  }

 public slots:
  void OnReply(uint code, uint outcome) { replies_.append({code, outcome}); }

 private:
  QList<std::pair<uint, uint>>& replies_;
};

namespace {

TEST_F(ProgramEnd, ASignalMidWriteFinishesTheWriteRepliesAndEnds) {
  const Bytes before = LibraryWithSegments(2);
  const Bytes library = LibraryWithSegments(40);
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    replies.clear();
    ReplyListener listener(replies);
    DevSim sim({"--log"}, Padded(before));
    StartProgram(QString::fromStdString(sim.path()));
    StartUpload(sim, library);
    ::kill(static_cast<pid_t>(program->processId()), signal);

    ASSERT_TRUE(program->waitForFinished(60000));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_EQ(sim.memory(), Padded(library));  // written whole, never torn
    QTest::qWait(100);
    EXPECT_TRUE(replies.contains(std::make_pair(uint(RemoteUploadLibrary), 1u)));
    EXPECT_FALSE(QFile::exists(programFolder + "/.ovrelware-writing"));
  }
}

TEST_F(ProgramEnd, AProgramKilledMidWriteLeavesTheMarkOfItsWrite) {
  ReplyListener listener(replies);
  DevSim sim({"--log"}, Padded(LibraryWithSegments(2)));
  StartProgram(QString::fromStdString(sim.path()));
  StartUpload(sim, LibraryWithSegments(40));
  program->kill();
  ASSERT_TRUE(program->waitForFinished(60000));
  QFile mark(programFolder + "/.ovrelware-writing");
  ASSERT_TRUE(mark.open(QIODevice::ReadOnly));
  // It names the port the write went to.
  EXPECT_EQ(mark.readLine().trimmed(), QByteArray::fromStdString(sim.path()));
}

}  // namespace
}  // namespace ovrel::test

#include "ProgramEndTest.moc"
