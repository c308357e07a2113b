// Every ovrel command line that the manual (docs/help.md) and the README
// show is run as written, against the emulator, in a folder laid out as
// the manual assumes. The lines are read from the documents at test time,
// so a line that stops working, and a new line that never did, fail here.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "support/DevSim.h"
#include "tests/cli/CliTestSupport.h"

namespace ovrel::test {
namespace {

QString ReadSource(const char* name) {
  QFile file(QStringLiteral(OVREL_SOURCE_DIR "/") + QString::fromLatin1(name));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A line of the manual that names a command with placeholders ("ovrel
// convert IN OUT", "FILE.svl") or only a command's name is no command line.
bool IsRunnable(const QString& line) {
  static const QRegularExpression placeholder(QStringLiteral("\\b[A-Z]{2,}\\b"));
  return !placeholder.match(line).hasMatch() &&
         line.split(QLatin1Char(' '), Qt::SkipEmptyParts).size() > 2;
}

// The README's command lines: those of its ovrel block that run ovrel.
QStringList ReadmeLines() {
  const QString readme = ReadSource("README.md");
  const QString block = readme.section(QStringLiteral("## The command-line tool `ovrel`"), 1)
                            .section(QStringLiteral("```sh\n"), 1)
                            .section(QStringLiteral("```"), 0, 0);
  QStringList lines;
  for (const QString& line : block.split(QLatin1Char('\n')))
    if (line.startsWith(QStringLiteral("$B/ovrel "))) lines << line;
  return lines;
}

// The manual's command lines: its code lines and the code spans in its
// text (a span may run over a line break), in the order they appear.
QStringList ManualLines() {
  const QString manual = ReadSource("docs/help.md");
  static const QRegularExpression span(QStringLiteral("`(ovrel [^`]+)`|^ *(ovrel .+)$"),
                                       QRegularExpression::MultilineOption);
  QStringList lines;
  for (auto m = span.globalMatch(manual); m.hasNext();) {
    const QRegularExpressionMatch match = m.next();
    QString line = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (IsRunnable(line)) lines << line.simplified();
  }
  return lines;
}

class CliManualTest : public CliDeviceTest {
 protected:
  // The folders and files the manual's examples name.
  void LayOut() {
    const QDir dir(Dir.path());
    for (const char* folder : {"examples", "Sessions", "Libraries"})
      ASSERT_TRUE(dir.mkpath(QString::fromLatin1(folder)));
    for (const QString& name : QDir(QStringLiteral(OVREL_SOURCE_DIR "/examples"))
                                   .entryList({QStringLiteral("*.svs")}, QDir::Files)) {
      const QString from = QStringLiteral(OVREL_SOURCE_DIR "/examples/") + name;
      ASSERT_TRUE(QFile::copy(from, dir.filePath("examples/" + name)));
      ASSERT_TRUE(QFile::copy(from, dir.filePath("Sessions/" + name)));
    }
    QFile rvx(dir.filePath(QStringLiteral("old.rvx")));
    ASSERT_TRUE(rvx.open(QIODevice::WriteOnly));
    rvx.write("head\r\nSTART\r\n1\t6:00\t\t10\t10\t\t\tA4\t\tSA\r\nEND\r\n");
    rvx.close();
    ASSERT_EQ(Run({"convert", "examples/relax.svs", "Deep Theta.gnaural"}).Status, 0);
  }

  // Runs a line as a shell runs it (globs, quotes, comments), with ovrel
  // on the PATH, as $B/ovrel, and the emulator as $PORT.
  Outcome Shell(const QString& line, const QString& port) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString program = QFileInfo(Exe()).absolutePath();
    env.insert(QStringLiteral("PATH"), program + ":" + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("B"), program);
    env.insert(QStringLiteral("PORT"), port);
    env.insert(QStringLiteral("OVREL_PORTS"), port);
    env.remove(QStringLiteral("OVREL_EXTRA_PORTS"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), Path("data"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(Dir.path());
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), line});
    if (!p.waitForFinished(300000)) p.kill();
    p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
  }
};

TEST_F(CliManualTest, EveryCommandLineOfTheManualWorksAsWritten) {
  const QStringList readme = ReadmeLines();
  const QStringList manual = ManualLines();
  // The documents were found and read: each shows a good many lines.
  ASSERT_GE(readme.size(), 20) << readme.join('\n').toStdString();
  ASSERT_GE(manual.size(), 8) << manual.join('\n').toStdString();
  LayOut();
  DevSim device;
  const QString port = QString::fromStdString(device.path());
  // The README's lines first: the manual's restore needs a backup to bring back.
  for (const QString& line : readme + manual) {
    const Outcome run = Shell(line, port);
    EXPECT_EQ(run.Status, 0) << line.toStdString() << "\n" << run.Err.toStdString();
  }
}

}  // namespace
}  // namespace ovrel::test
