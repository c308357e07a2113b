// A main window over a program folder in a temporary directory, with
// scripted dialogs and its own port list.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/MainWindow.h"
#include "device/jobs/DeviceService.h"
#include "device/link/DeviceLink.h"
#include "library/LibraryImage.h"
#include "ui/ScriptedDialogs.h"
#include "ui/UserSettings.h"

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
    UserSettings().Clear();  // nothing remembered from an earlier test
  }
  void TearDown() override {
    form.reset();
    device.reset();
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

  // A library file of two short sessions at root + "/two.svl"; returns its path.
  QString WriteTwoSessionLibrary() {
    const std::vector<SessionRecord> two = {{1, 0, {{36, 10, 10, 100, 100}}},
                                            {2, 0, {{40, 10, 10, 100, 100}}}};
    const std::vector<std::uint8_t> image =
        BuildLibraryImage(two).value_or(std::vector<std::uint8_t>{});
    const QString path = root + QStringLiteral("/two.svl");
    WriteFile(path, QByteArray(reinterpret_cast<const char*>(image.data()),
                               static_cast<qsizetype>(image.size())));
    return path;
  }

  // Waits until no device operation runs or waits: the last one's result
  // has been shown.
  static void WaitUntilIdle(MainWindow& f, int ms = 120000) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Link().Busy(); }, ms));
  }
  // Clicks a button that starts a device operation and waits for its end.
  static void ClickAndWait(MainWindow& f, QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    WaitUntilIdle(f);
  }

  MainWindow& MakeForm(const QString& programFile = {}) {
    MainWindowOptions options;
    options.ProgramFile =
        programFile.isEmpty() ? programFolder + QStringLiteral("/ovrelware") : programFile;
    form = std::make_unique<MainWindow>(dialogs, MakeDevice(), options);
    return *form;
  }

  // The program's device service, for the window made next.
  DeviceService& MakeDevice(const LinkTiming& timing = LinkTiming{}.Scaled(0.4)) {
    form.reset();
    device = std::make_unique<DeviceService>(timing);
    return *device;
  }

  ScriptedDialogs dialogs;
  std::unique_ptr<DeviceService> device;
  std::unique_ptr<MainWindow> form;
  QString root;
  QString programFolder;

 private:
  QTemporaryDir tmp_;
  QString savedDir_;
};

}  // namespace ovrel::test
