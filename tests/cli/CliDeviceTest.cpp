// The ovrel device commands, run as processes against the emulator.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTest>

#include "tests/cli/CliTestSupport.h"
#include "tests/device/LinkTestSupport.h"
#include "tests/device/TerminalTestSupport.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

TEST_F(CliDeviceTest, PortsAndDetect) {
  const std::string folder = Dir.path().toStdString();
  DevSim silent({"--no-reply", "S:1", "--link", folder + "/a"});
  DevSim device({"--link", folder + "/b"});
  DevSim unlike({"--probe-bad"});
  const QString ports = Path("b") + ":" + Path("a");

  Outcome listed = Run({"ports"}, ports);
  EXPECT_EQ(listed.Status, 0);
  EXPECT_EQ(listed.Out, Path("a") + "\n" + Path("b") + "\n");
  // The long list keeps the path first; a pseudo-terminal has no
  // description. The lock file each is locked with comes last.
  Outcome described = Run({"ports", "--long"}, ports);
  EXPECT_EQ(described.Status, 0);
  const auto lockOf = [&](const char* link) {
    return "/run/lock/LCK..pts_" + QFileInfo(QFile::symLinkTarget(Path(link))).fileName();
  };
  EXPECT_EQ(described.Out,
            Path("a") + "\t\t" + lockOf("a") + "\n" + Path("b") + "\t\t" + lockOf("b") + "\n");

  Outcome found = Run({"detect"}, ports);
  EXPECT_EQ(found.Status, 0) << found.Err.toStdString();
  EXPECT_EQ(found.Out, Path("b") + "\n");

  Outcome none = Run({"detect"}, QString::fromStdString(unlike.path()));
  EXPECT_EQ(none.Status, 3);
  EXPECT_TRUE(none.Out.isEmpty());
  EXPECT_TRUE(none.Err.contains("Autodetection of Sorvani failed"));
}

// Detection that finds nothing says why, a line for each port.
TEST_F(CliDeviceTest, DetectSaysWhyNoPortAnswered) {
  Outcome none = Run({"detect"}, "");
  EXPECT_EQ(none.Status, 3);
  EXPECT_TRUE(none.Err.contains("connect the device's USB cable")) << none.Err.toStdString();

  // A port that a program holds open without locking it (as a terminal
  // program or cat does): the port is not shared, and that program is named.
  PtyPair pty;
  const QString busyPort = QString::fromStdString(pty.Path());
  QProcess holder;
  holder.start("sh", {"-c", "exec sleep 60 <" + busyPort});
  ASSERT_TRUE(holder.waitForStarted());
  const qint64 holderPid = holder.processId();
  const QString heldFd = QStringLiteral("/proc/%1/fd/0").arg(holderPid);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::symLinkTarget(heldFd) == busyPort; }, 5000));
  DevSim silent({"--strict", "--no-reply", "S:1"});
  Outcome busy = Run({"detect"}, busyPort + ":" + QString::fromStdString(silent.path()));
  holder.kill();
  holder.waitForFinished();
  EXPECT_EQ(busy.Status, 3);
  EXPECT_TRUE(busy.Err.contains(
      busyPort +
      QStringLiteral(": The port is busy: it is in use by sleep (process %1)").arg(holderPid)))
      << busy.Err.toStdString();
  EXPECT_TRUE(busy.Err.contains(QString::fromStdString(silent.path()) + ": no answer from Sorvani"));
  EXPECT_TRUE(pty.Master().Receive(1, 100).empty());  // nothing was written to the shared line
}

// Each port that autodetection probes is locked in its turn: a port that
// another serial program has locked (its lock file in the system's lock
// folder, holding its process id) is left alone, and that program named,
// also when it is not the first port probed.
TEST_F(CliDeviceTest, DetectLeavesAPortLockedByAnotherProgramAlone) {
  const std::string folder = Dir.path().toStdString();
  DevSim silent({"--strict", "--no-reply", "S:1", "--link", folder + "/a"});
  DevSim device({"--log", "--link", folder + "/b"});
  QProcess holder;
  holder.start("sleep", {"60"});
  ASSERT_TRUE(holder.waitForStarted());
  const qint64 holderPid = holder.processId();
  const QString lockFile = QStringLiteral("/run/lock/LCK..pts_") +
                           QFileInfo(QString::fromStdString(device.path())).fileName();
  QFile lock(lockFile);
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.write(QByteArray::number(holderPid).rightJustified(10, ' ') + '\n');
  lock.close();

  Outcome busy = Run({"detect"}, Path("a") + ":" + Path("b"));
  QFile::remove(lockFile);
  holder.kill();
  holder.waitForFinished();
  EXPECT_EQ(busy.Status, 3);
  EXPECT_TRUE(busy.Err.contains(
      Path("b") +
      QStringLiteral(": The port is busy: it is in use by sleep (process %1)").arg(holderPid)))
      << busy.Err.toStdString();
  EXPECT_EQ(LoggedCommands(device.log()), "");
}

TEST_F(CliDeviceTest, DetectNamesAPermissionProblem) {
  // Root opens a port whatever its permissions, except from a user
  // namespace in which the port's owner has no mapping.
  QStringList wrapper;
  if (::geteuid() == 0) {
    wrapper = QStringList{"unshare", "--user"};
    if (QProcess::execute(wrapper[0], wrapper.mid(1) + QStringList{"true"}) != 0)
      GTEST_SKIP() << "running as root and no user namespace can be made";
  }
  PtyPair pty;
  ASSERT_EQ(::chmod(pty.Path().c_str(), 0), 0);
  Outcome denied = Run({"detect"}, QString::fromStdString(pty.Path()), wrapper);
  EXPECT_EQ(denied.Status, 3);
  EXPECT_TRUE(denied.Err.contains("Permission denied")) << denied.Err.toStdString();
  EXPECT_TRUE(denied.Err.contains("dialout"));
}

TEST_F(CliDeviceTest, UploadAddAndDownload) {
  DevSim sim({"--log"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  const QString port = QString::fromStdString(sim.path());

  // Without --port the device is found first.
  const Bytes lib = LibraryWithSegments(4);
  WriteFile(Path("lib.svl"), lib);
  Outcome up = Run({"upload", "lib.svl"}, port);
  EXPECT_EQ(up.Status, 0) << up.Err.toStdString();
  // Standard error is no terminal here: no progress bar.
  EXPECT_FALSE(up.Err.contains("block"));
  EXPECT_TRUE(up.Err.contains("Sorvani session library uploaded successfully"));
  EXPECT_EQ(sim.memory(), Padded(lib));

  WriteFile(Path("ses.svs"), kOneSegmentSession);
  Outcome add = Run({"add", "--port", port, "ses.svs"});
  EXPECT_EQ(add.Status, 0) << add.Err.toStdString();
  EXPECT_TRUE(add.Err.contains("Single session uploaded to Sorvani successfully"));
  // The working files land beside ovrel, not in the current folder.
  const Bytes merged = ReadFile(Path("program/TempSesLib.svl"));
  EXPECT_FALSE(QFile::exists(Path("TempSesLib.svl")));
  // One more table entry, then 1:00, one segment and the end byte.
  ASSERT_EQ(merged.size(), lib.size() + 2 + 2 + 5 + 1);
  EXPECT_EQ(merged[1], 2);
  EXPECT_EQ(sim.memory(), Padded(merged));
  EXPECT_EQ(ReadFile(Path("program/SVPMemImg.svl")), Padded(lib));

  Outcome down = Run({"download", "--port", port, "-o", "got.svl"});
  EXPECT_EQ(down.Status, 0) << down.Err.toStdString();
  EXPECT_EQ(ReadFile(Path("got.svl")), merged);
  Outcome raw = Run({"download", "--raw", "--port", port, "-o", "raw.svl"});
  EXPECT_EQ(raw.Status, 0);
  EXPECT_EQ(ReadFile(Path("raw.svl")), Padded(merged));

  const std::string commands = LoggedCommands(sim.log());
  // The upload keeps what it replaces first.
  const std::string read = "I" + Repeat('r', 16) + "O";
  EXPECT_EQ(commands, "S" + read + UploadCommands() + "I" + Repeat('r', 16) +
                          UploadCommands(false) + read + read);
}

TEST_F(CliDeviceTest, FailuresAndUsage) {
  DevSim sim({"--no-reply", "X:1"});
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("lib.svl"), LibraryWithSegments(1));
  Outcome failed = Run({"upload", "--port", port, "lib.svl"});
  EXPECT_EQ(failed.Status, 4);
  EXPECT_TRUE(failed.Err.contains("Sorvani session library upload failed"));

  Outcome missing = Run({"upload", "--port", port, "nothing.svl"});
  EXPECT_EQ(missing.Status, 1);
  // The text as it always was, and the file on the next line.
  EXPECT_TRUE(missing.Err.contains("The session library file not found.\nnothing.svl\n"))
      << missing.Err.toStdString();

  EXPECT_EQ(Run({"upload"}).Status, 2);
  EXPECT_EQ(Run({"upload", "a.svl", "b.svl"}).Status, 2);
  EXPECT_EQ(Run({"download", "--port", port}).Status, 2);
  EXPECT_EQ(Run({"add", "--bogus", "x.svs"}).Status, 2);
  EXPECT_EQ(Run({"ports", "extra"}).Status, 2);
  Outcome help = Run({"download", "--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_TRUE(help.Out.startsWith("Usage: ovrel download"));
}

}  // namespace
}  // namespace ovrel::test
