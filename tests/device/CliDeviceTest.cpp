// The ovrel device commands, run as processes against the emulator.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "LinkTestSupport.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

struct Outcome {
  int Status = -1;
  QString Out;
  QString Err;
};

class CliDeviceTest : public ::testing::Test {
 protected:
  // A copy of ovrel in its own folder: a program folder that the test owns,
  // apart from the current folder the commands run in.
  void SetUp() override {
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("program")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(OVREL_CLI_PATH), Exe()));
  }
  QString Exe() const { return Dir.filePath(QStringLiteral("program/ovrel")); }

  Outcome Run(const QStringList& args, const QString& ports = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OVREL_PORTS"), ports);
    env.remove(QStringLiteral("OVREL_EXTRA_PORTS"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(Dir.path());
    p.start(Exe(), args);
    if (!p.waitForFinished(60000)) {
      p.kill();
      p.waitForFinished();
      return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
  }
  QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir Dir;
};

TEST_F(CliDeviceTest, PortsAndDetect) {
  const std::string folder = Dir.path().toStdString();
  DevSim silent({"--no-reply", "S:1", "--link", folder + "/a"});
  DevSim device({"--link", folder + "/b"});
  DevSim unlike({"--probe-bad"});
  const QString ports = Path("b") + ":" + Path("a");

  Outcome listed = Run({"ports"}, ports);
  EXPECT_EQ(listed.Status, 0);
  EXPECT_EQ(listed.Out, Path("a") + "\n" + Path("b") + "\n");

  Outcome found = Run({"detect"}, ports);
  EXPECT_EQ(found.Status, 0) << found.Err.toStdString();
  EXPECT_EQ(found.Out, Path("b") + "\n");

  Outcome none = Run({"detect"}, QString::fromStdString(unlike.path()));
  EXPECT_EQ(none.Status, 1);
  EXPECT_TRUE(none.Out.isEmpty());
  EXPECT_TRUE(none.Err.contains("Autodetection of Sorvani failed"));
}

TEST_F(CliDeviceTest, UploadAddAndDownload) {
  DevSim sim({"--log"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  const QString port = QString::fromStdString(sim.path());

  // Without --port the device is found first.
  const Bytes lib = LibraryWithSegments(4);
  WriteFile(Path("lib.svl"), lib);
  Outcome up = Run({"upload", "lib.svl"}, port);
  EXPECT_EQ(up.Status, 0) << up.Err.toStdString();
  EXPECT_TRUE(up.Err.contains("D block 16 of 16"));
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
  EXPECT_EQ(commands, "S" + UploadCommands() + "I" + Repeat('r', 16) + UploadCommands(false) + "I" +
                          Repeat('r', 16) + "O" + "I" + Repeat('r', 16) + "O");
}

TEST_F(CliDeviceTest, FailuresAndUsage) {
  DevSim sim({"--no-reply", "X:1"});
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("lib.svl"), LibraryWithSegments(1));
  Outcome failed = Run({"upload", "--port", port, "lib.svl"});
  EXPECT_EQ(failed.Status, 1);
  EXPECT_TRUE(failed.Err.contains("Sorvani session library upload failed"));

  Outcome missing = Run({"upload", "--port", port, "nothing.svl"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_TRUE(missing.Err.contains("The session library file not found."));

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
