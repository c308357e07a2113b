// Runs ovrel as a process against the emulator: each test has its own
// working folder and its own per-user data folder (the backup history).
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace ovrel::test {

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

  // wrapper, when given, is a command that runs ovrel (with its arguments).
  Outcome Run(const QStringList& args, const QString& ports = {}, const QStringList& wrapper = {}) {
    return RunIn(Environment(ports), args, wrapper);
  }
  // Runs ovrel with a preloaded shim that sends it signal at a moment of the
  // shim's choosing; variable tells the shim which signal.
  Outcome RunWithSignalShim(const QStringList& args, const QString& shim, const QString& variable,
                            int signal) {
    QProcessEnvironment env = Environment({});
    env.insert(QStringLiteral("LD_PRELOAD"), shim);
    env.insert(variable, QString::number(signal));
    // A sanitizer's runtime would otherwise insist on coming first.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    return RunIn(env, args, {});
  }
  QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }
  // The backup history of the programs this test runs.
  QString BackupFolder() const { return Dir.filePath(QStringLiteral("data/ovrelware/backups")); }

  QTemporaryDir Dir;

 private:
  QProcessEnvironment Environment(const QString& ports) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OVREL_PORTS"), ports);
    env.remove(QStringLiteral("OVREL_EXTRA_PORTS"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), Path("data"));
    return env;
  }
  Outcome RunIn(const QProcessEnvironment& env, const QStringList& args,
                const QStringList& wrapper) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(Dir.path());
    if (wrapper.isEmpty())
      p.start(Exe(), args);
    else
      p.start(wrapper[0], wrapper.mid(1) + QStringList{Exe()} + args);
    if (!p.waitForFinished(60000)) {
      p.kill();
      p.waitForFinished();
      return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
  }
};

}  // namespace ovrel::test
