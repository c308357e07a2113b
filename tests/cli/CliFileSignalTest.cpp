// A stop (SIGINT, SIGTERM) that comes while a file command writes its file:
// the write is whole or absent, no temporary file is left in the folder, and
// the exit status says that the command was stopped.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <algorithm>

#include "tests/cli/CliTestSupport.h"

namespace ovrel::test {
namespace {

class CliFileSignalTest : public CliDeviceTest {
 protected:
  // Runs ovrel with the signal sent to it as its temporary file is renamed.
  Outcome RunStopped(const QStringList& args, int signal) {
    return RunWithSignalShim(args, QStringLiteral(OVREL_SIGNAL_AT_RENAME_PATH),
                             QStringLiteral("OVREL_TEST_SIGNAL_AT_RENAME"), signal);
  }

  QStringList Leftovers() const {
    return QDir(Dir.path()).entryList({QStringLiteral(".ovrel-*")}, QDir::Files | QDir::Hidden);
  }
};

TEST_F(CliFileSignalTest, AStopDuringAWriteLeavesNoTemporaryFile) {
  ASSERT_EQ(Run({"sweep", "14", "4", "30", "-o", "in.svs"}).Status, 0);
  QFile rvx(Path("in.rvx"));
  ASSERT_TRUE(rvx.open(QIODevice::WriteOnly));
  rvx.write("head\r\nSTART\r\n1\t6:00\t\t10\t10\t\t\tA4\t\tSA\r\nEND\r\n");
  rvx.close();
  const QList<QStringList> commands = {{"convert", "in.svs", "out.sbg"},
                                       {"compile", "-o", "out.svl", "in.svs"},
                                       {"sweep", "14", "4", "30", "-o", "out.svs"},
                                       {"export-csv", "in.svs", "-o", "out.csv"},
                                       {"import", "in.rvx", "-o", "out.svs"}};
  for (const QStringList& args : commands) {
    const QString output = *std::find_if(args.begin(), args.end(),
                                         [](const QString& a) { return a.startsWith("out."); });
    ASSERT_EQ(Run(args).Status, 0) << args.join(' ').toStdString();
    QFile file(Dir.filePath(output));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    for (const int signal : {SIGINT, SIGTERM}) {
      const std::string shown =
          args.join(' ').toStdString() + " / signal " + std::to_string(signal);
      ASSERT_TRUE(QFile::remove(Dir.filePath(output)));
      const Outcome run = RunStopped(args, signal);
      EXPECT_EQ(run.Status, 128 + signal) << shown << "\n" << run.Err.toStdString();
      EXPECT_TRUE(run.Err.contains(QStringLiteral("Stopped by SIG"))) << shown;
      EXPECT_EQ(Leftovers(), QStringList()) << shown;
      // The write that had begun was finished: the output is whole.
      ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << shown;
      EXPECT_EQ(file.readAll(), whole) << shown;
      file.close();
      for (const QString& left : Leftovers()) QFile::remove(Dir.filePath(left));
    }
  }
}

}  // namespace
}  // namespace ovrel::test
