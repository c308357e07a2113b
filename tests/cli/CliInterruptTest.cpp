// ovrel's writes into the device against what can cut them short: signals,
// a reader of its output that goes away, a second client, and failures that
// must say why.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <algorithm>
#include <memory>

#include "support/DevSim.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/device/LinkTestSupport.h"

namespace ovrel::test {
namespace {

class CliInterruptTest : public CliDeviceTest {
 protected:
  // Starts ovrel with the environment Run gives it, without waiting.
  std::unique_ptr<QProcess> Start(const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OVREL_PORTS"), QString());
    env.remove(QStringLiteral("OVREL_EXTRA_PORTS"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), Path("data"));
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(Dir.path());
    p->start(Exe(), args);
    EXPECT_TRUE(p->waitForStarted());
    return p;
  }
  // Waits for the end of p: its exit status, or -1 when a signal ended it.
  static Outcome End(QProcess& p) {
    if (!p.waitForFinished(60000)) p.kill();
    p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
  }
  // Waits until the emulator has logged count commands with letter.
  static bool WaitForCommands(const DevSim& sim, char letter, int count) {
    return QTest::qWaitFor(
        [&] {
          const std::string logged = LoggedCommands(sim.log());
          return std::count(logged.begin(), logged.end(), letter) >= count;
        },
        20000);
  }
};

// A signal in the middle of the blocks lets the write finish (the memory
// holds the new library, never a torn one) and the exit status says that
// the command was stopped. In the pause of an add, before anything is
// written, the command stops at once and the memory keeps the old library.
TEST_F(CliInterruptTest, ASignalNeverTearsTheMemory) {
  const Bytes before = LibraryWithSegments(2);
  const Bytes library = LibraryWithSegments(40);
  WriteFile(Path("lib.svl"), library);
  DevSim sim({"--log"}, Padded(before));
  const QString port = QString::fromStdString(sim.path());

  auto upload = Start({"upload", "--no-backup", "--port", port, "lib.svl"});
  ASSERT_TRUE(WaitForCommands(sim, 'D', 3));
  ::kill(static_cast<pid_t>(upload->processId()), SIGTERM);
  const Outcome stopped = End(*upload);
  EXPECT_EQ(stopped.Status, 143) << stopped.Err.toStdString();
  EXPECT_TRUE(stopped.Err.contains("Finishing the write to Sorvani")) << stopped.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(library));

  WriteFile(Path("ses.svs"), kOneSegmentSession);
  auto add = Start({"add", "--port", port, "ses.svs"});
  ASSERT_TRUE(WaitForCommands(sim, 'r', 16));
  ::kill(static_cast<pid_t>(add->processId()), SIGINT);
  const Outcome interrupted = End(*add);
  // Stopped in the pause before the write: nothing after the read reached
  // the device, and it keeps the library it held.
  EXPECT_EQ(interrupted.Status, 130) << interrupted.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(library));
  EXPECT_EQ(LoggedCommands(sim.log()), UploadCommands() + "I" + Repeat('r', 16));
}

// Every signal whose default would end ovrel is taken over in the middle of
// a write: the write finishes, the exit status is the signal's, and the
// JSON result says that the device's memory was replaced.
TEST_F(CliInterruptTest, EverySignalThatWouldEndOvrelLetsTheWriteFinish) {
  const Bytes library = LibraryWithSegments(40);
  WriteFile(Path("lib.svl"), library);
  for (const int signal : {SIGHUP, SIGQUIT, SIGUSR1, SIGALRM}) {
    SCOPED_TRACE(signal);
    DevSim sim({"--log"}, Padded(LibraryWithSegments(2)));
    auto upload = Start({"--json", "upload", "--no-backup", "--port",
                         QString::fromStdString(sim.path()), "lib.svl"});
    ASSERT_TRUE(WaitForCommands(sim, 'D', 3));
    ::kill(static_cast<pid_t>(upload->processId()), signal);
    const Outcome stopped = End(*upload);
    EXPECT_EQ(stopped.Status, 128 + signal) << stopped.Err.toStdString();
    EXPECT_EQ(sim.memory(), Padded(library));
    const QStringList lines = stopped.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    const QJsonObject result = QJsonDocument::fromJson(lines.last().toUtf8()).object();
    EXPECT_EQ(result["event"].toString(), "result");
    EXPECT_EQ(result["device"].toString(), "replaced") << stopped.Out.toStdString();
  }
}

// A write command stopped while it still reads the memory it is about to
// replace ends before writing anything, and its JSON result says that the
// device is untouched, as the emulator's memory shows.
TEST_F(CliInterruptTest, AWriteStoppedInItsReadSaysTheDeviceIsUntouched) {
  const Bytes before = LibraryWithSegments(2);
  WriteFile(Path("lib.svl"), LibraryWithSegments(40));
  WriteFile(Path("base.svl"), before);
  WriteFile(Path("ses.svs"), kOneSegmentSession);
  const struct {
    QStringList Args;
    int Signal;
  } cases[] = {
      {{"upload", "lib.svl"}, SIGTERM},
      {{"upload", "--expect", "base.svl", "lib.svl"}, SIGQUIT},
      {{"restore", "lib.svl"}, SIGHUP},
      {{"add", "ses.svs"}, SIGUSR1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.join(' ').toStdString());
    DevSim sim({"--log", "--delay", "r:40"}, Padded(before));
    auto client = Start(QStringList{"--json"} + c.Args +
                        QStringList{"--port", QString::fromStdString(sim.path())});
    ASSERT_TRUE(WaitForCommands(sim, 'r', 4));
    ::kill(static_cast<pid_t>(client->processId()), c.Signal);
    const Outcome stopped = End(*client);
    EXPECT_EQ(stopped.Status, 128 + c.Signal) << stopped.Err.toStdString();
    EXPECT_EQ(sim.memory(), Padded(before));
    EXPECT_EQ(LoggedCommands(sim.log()).find('C'), std::string::npos);
    const QStringList lines = stopped.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    const QJsonObject result = QJsonDocument::fromJson(lines.last().toUtf8()).object();
    EXPECT_EQ(result["event"].toString(), "result");
    EXPECT_EQ(result["device"].toString(), "untouched") << stopped.Out.toStdString();
  }
}

// The C starts the write: a signal while the device is still answering it
// (here for 1.5 s) waits for the whole write, as one in the blocks does.
TEST_F(CliInterruptTest, ASignalAfterTheCLetsTheWriteFinish) {
  const Bytes library = LibraryWithSegments(40);
  WriteFile(Path("lib.svl"), library);
  DevSim sim({"--log", "--c-delay", "1500"}, Padded(LibraryWithSegments(2)));
  auto upload =
      Start({"upload", "--no-backup", "--port", QString::fromStdString(sim.path()), "lib.svl"});
  ASSERT_TRUE(WaitForCommands(sim, 'C', 1));
  ::kill(static_cast<pid_t>(upload->processId()), SIGINT);
  const Outcome stopped = End(*upload);
  EXPECT_EQ(stopped.Status, 130) << stopped.Err.toStdString();
  EXPECT_EQ(LoggedCommands(sim.log()), UploadCommands());
  EXPECT_EQ(sim.memory(), Padded(library));
}

// A write that a signal let go on and that then fails says so: the exit
// status is the signal's, but the message (also the JSON result's) is the
// failure and what the device's memory holds now.
TEST_F(CliInterruptTest, ASignalDoesNotHideAWriteThatFailedAfterIt) {
  WriteFile(Path("lib.svl"), LibraryWithSegments(40));
  DevSim sim({"--log", "--no-reply", "D:10"}, Padded(LibraryWithSegments(2)));
  auto upload = Start(
      {"--json", "upload", "--no-backup", "--port", QString::fromStdString(sim.path()), "lib.svl"});
  ASSERT_TRUE(WaitForCommands(sim, 'D', 3));
  ::kill(static_cast<pid_t>(upload->processId()), SIGINT);
  const Outcome failed = End(*upload);
  EXPECT_EQ(failed.Status, 130) << failed.Err.toStdString();
  const std::string logged = LoggedCommands(sim.log());
  EXPECT_EQ(std::count(logged.begin(), logged.end(), 'D'), 10) << logged;
  for (const QString& said : {failed.Err, failed.Out}) {
    EXPECT_TRUE(said.contains("Sorvani session library upload failed")) << said.toStdString();
    EXPECT_TRUE(said.contains("Sorvani stopped answering while block 10 of 16 was written."))
        << said.toStdString();
    EXPECT_TRUE(said.contains("mixed image: the write stopped at block 10 of 16"))
        << said.toStdString();
  }
  const QStringList events = failed.Out.split('\n', Qt::SkipEmptyParts);
  ASSERT_FALSE(events.isEmpty());
  const QJsonObject result = QJsonDocument::fromJson(events.back().toUtf8()).object();
  EXPECT_EQ(result["status"].toInt(), 130);
  EXPECT_TRUE(result["message"].toString().startsWith("Sorvani session library upload failed"))
      << events.back().toStdString();
  EXPECT_TRUE(result["message"].toString().endsWith("Stopped by SIGINT."));
}

// A reader of the JSON events that goes away in the middle of the blocks
// (here grep -q, which ends at the first D) stops the printing, not the write.
TEST_F(CliInterruptTest, AReaderThatGoesAwayDoesNotStopTheWrite) {
  const Bytes library = LibraryWithSegments(40);
  WriteFile(Path("lib.svl"), library);
  DevSim sim;
  const Outcome done =
      Run({"--json", "upload", "--port", QString::fromStdString(sim.path()), "lib.svl"}, {},
          {"bash", "-c", "\"$@\" | grep -q '\"command\":\"D\"'; exit ${PIPESTATUS[0]}", "-"});
  EXPECT_EQ(done.Status, 0) << done.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(library));
}

// An upload asked for while an add waits out its pause is refused as busy,
// naming the add's process, whatever the second client's runtime folder (or
// none); the add's merge is what the device keeps.
TEST_F(CliInterruptTest, AnUploadInAnAddsPauseIsRefusedAsBusy) {
  const Bytes before = LibraryWithSegments(2);
  WriteFile(Path("lib.svl"), LibraryWithSegments(40));
  WriteFile(Path("ses.svs"), kOneSegmentSession);
  DevSim sim({"--log"}, Padded(before));
  const QString port = QString::fromStdString(sim.path());

  auto add = Start({"add", "--port", port, "ses.svs"});
  ASSERT_TRUE(WaitForCommands(sim, 'r', 16));
  // The add has closed the port for its pause.
  const QString fds = QStringLiteral("/proc/%1/fd").arg(add->processId());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System))
          if (QFile::symLinkTarget(fds + "/" + fd) == port) return false;
        return true;
      },
      5000));
  // The lock is the same for every client, whatever its environment.
  ASSERT_TRUE(QDir(Dir.path()).mkdir("runtime"));
  for (const QStringList& client : {QStringList{}, QStringList{"env", "-u", "XDG_RUNTIME_DIR"},
                                    QStringList{"env", "XDG_RUNTIME_DIR=" + Path("runtime")},
                                    QStringList{"env", "XDG_RUNTIME_DIR=/proc"}}) {
    const Outcome refused = Run({"upload", "--port", port, "lib.svl"}, {}, client);
    EXPECT_EQ(refused.Status, 5) << client.join(' ').toStdString() << refused.Err.toStdString();
    EXPECT_TRUE(
        refused.Err.contains(QStringLiteral("The port is busy: it is in use by ovrel (process %1)")
                                 .arg(add->processId())))
        << client.join(' ').toStdString() << refused.Err.toStdString();
  }

  const Outcome added = End(*add);
  EXPECT_EQ(added.Status, 0) << added.Err.toStdString();
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + UploadCommands(false));
  const Bytes merged = ReadFile(Path("program/TempSesLib.svl"));
  ASSERT_GT(merged.size(), before.size());
  EXPECT_EQ(merged[1], 2);  // the old session and the added one
  EXPECT_EQ(sim.memory(), Padded(merged));
}

// The lock of a program killed in the middle of an add stays behind; the
// next program finds its process gone and takes the port.
TEST_F(CliInterruptTest, TheLockOfAKilledProgramIsTakenOver) {
  WriteFile(Path("lib.svl"), LibraryWithSegments(4));
  WriteFile(Path("ses.svs"), kOneSegmentSession);
  DevSim sim({"--log"}, Padded(LibraryWithSegments(2)));
  const QString port = QString::fromStdString(sim.path());
  auto add = Start({"add", "--port", port, "ses.svs"});
  ASSERT_TRUE(WaitForCommands(sim, 'r', 16));
  ::kill(static_cast<pid_t>(add->processId()), SIGKILL);
  End(*add);
  const QString lockFile = QStringLiteral("/run/lock/LCK..pts_") +
                           QFileInfo(QString::fromStdString(sim.path())).fileName();
  ASSERT_TRUE(QFileInfo::exists(lockFile));
  const Outcome uploaded = Run({"upload", "--port", port, "lib.svl"});
  EXPECT_EQ(uploaded.Status, 0) << uploaded.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(4)));
  EXPECT_FALSE(QFileInfo::exists(lockFile));
}

// A client that cannot make the port's lock (here the lock folder is a
// read-only file system, and the user has no runtime folder to lock the
// port in instead) does not touch the port, and says why.
TEST_F(CliInterruptTest, AnOperationWhoseLockCannotBeMadeDoesNotRun) {
  const QStringList privateMounts{"unshare", ::geteuid() == 0 ? "-m" : "-rm"};
  if (QProcess::execute(privateMounts[0], privateMounts.mid(1) + QStringList{"true"}) != 0)
    GTEST_SKIP() << "no mount namespace can be made";
  WriteFile(Path("lib.svl"), LibraryWithSegments(4));
  const Bytes before = LibraryWithSegments(2);
  DevSim sim({"--log"}, Padded(before));
  const QStringList readOnlyLocks =
      privateMounts + QStringList{"sh", "-c",
                                  "mount -t tmpfs -o ro none /run/lock || exit 99; "
                                  "exec env -u XDG_RUNTIME_DIR \"$0\" \"$@\""};
  const Outcome unlocked =
      Run({"upload", "--port", QString::fromStdString(sim.path()), "lib.svl"}, {}, readOnlyLocks);
  ASSERT_NE(unlocked.Status, 99) << "no file system could be mounted: "
                                 << unlocked.Err.toStdString();
  EXPECT_EQ(unlocked.Status, 3) << unlocked.Err.toStdString();
  EXPECT_TRUE(unlocked.Err.contains(
      "this user may not write the ports' lock folder /run/lock, and there is no runtime "
      "folder of the user's own (XDG_RUNTIME_DIR) to lock the port in instead"))
      << unlocked.Err.toStdString();
  EXPECT_EQ(LoggedCommands(sim.log()), "");
  EXPECT_EQ(sim.memory(), Padded(before));
}

// Without --json, a failure says why on standard error too.
TEST_F(CliInterruptTest, TheReasonOfAFailureIsOnStandardError) {
  WriteFile(Path("lib.svl"), LibraryWithSegments(3));
  DevSim sim({"--no-reply", "D:3"});
  const Outcome failed = Run({"upload", "--port", QString::fromStdString(sim.path()), "lib.svl"});
  EXPECT_EQ(failed.Status, 4);
  EXPECT_TRUE(failed.Err.contains("Sorvani session library upload failed"));
  EXPECT_TRUE(failed.Err.contains("Sorvani stopped answering while block 3 of 16 was written."))
      << failed.Err.toStdString();
}

}  // namespace
}  // namespace ovrel::test
