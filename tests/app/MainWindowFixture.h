// A main window over a program folder in a temporary directory, with
// scripted dialogs and its own port list.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "app/MainWindow.h"
#include "ui/ScriptedDialogs.h"

namespace ovrel::test {

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    savedDir_ = QDir::currentPath();
    ASSERT_TRUE(tmp_.isValid());
    root = QDir(tmp_.path()).canonicalPath();
    programFolder = root + QStringLiteral("/bin");
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("bin/Sessions")));
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("bin/Libraries")));
    WriteFile(programFolder + QStringLiteral("/ovrelware"), {});
    SetPorts({});
  }
  void TearDown() override {
    form.reset();
    QDir::setCurrent(savedDir_);
  }

  // The port list the window sees: exactly these paths (that exist).
  static void SetPorts(const QStringList& ports) {
    qputenv("OVREL_PORTS", ports.join(QLatin1Char(':')).toLocal8Bit());
  }

  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
  }

  MainWindow& MakeForm(const QString& programFile = {}) {
    MainWindowOptions options;
    options.ProgramFile =
        programFile.isEmpty() ? programFolder + QStringLiteral("/ovrelware") : programFile;
    options.Timing = LinkTiming{}.Scaled(0.4);
    form = std::make_unique<MainWindow>(dialogs, options);
    return *form;
  }

  ScriptedDialogs dialogs;
  std::unique_ptr<MainWindow> form;
  QString root;
  QString programFolder;

 private:
  QTemporaryDir tmp_;
  QString savedDir_;
};

}  // namespace ovrel::test
