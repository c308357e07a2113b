// Test main for tests that need a QApplication: widgets run on Qt's
// offscreen platform unless the environment already chose one. The per-user
// data folder (where device reads are kept as backups) and the settings
// folder are private temporary folders, also for the programs the tests
// start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  QTemporaryDir dataHome;
  qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
  QTemporaryDir configHome;
  qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
  QTemporaryDir runtime;  // made with permissions 0700, as the folder must be
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
