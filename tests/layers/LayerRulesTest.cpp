// Includes run one way: a file never includes from a layer above its own,
// and the layers of pure logic stay free of Qt.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "layers/LayerRules.h"

namespace ovrel::layers {
namespace {

std::string Describe(const std::vector<Violation>& violations) {
  std::string out;
  for (const Violation& v : violations)
    out += v.File + ":" + std::to_string(v.Line) + ": includes " + v.Include + " (" + v.Why + ")\n";
  return out;
}

TEST(Layers, NoFileOfTheProgramIncludesFromALayerAboveItsOwn) {
  const auto violations = CheckLayers(OVREL_SOURCE_DIR);
  EXPECT_TRUE(violations.empty()) << Describe(violations);
}

TEST(Layers, APlantedUpwardIncludeAndQtInTheLogicAreFound) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("ovrel-layers-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "session");
  fs::create_directories(root / "device/link");
  fs::create_directories(root / "ui");
  std::ofstream(root / "session/Planted.h") << "#pragma once\n#include \"session/Session.h\"\n"
                                               "#include \"app/MainWindow.h\"\n";
  std::ofstream(root / "device/link/Planted.cpp") << "#include <QTimer>\n#include \"ui/Dialogs.h\"\n";
  std::ofstream(root / "ui/Planted.cpp") << "#include \"editor/SessionEditorWindow.h\"\n";
  const auto violations = CheckLayers(root);
  fs::remove_all(root);
  ASSERT_EQ(violations.size(), 3u) << Describe(violations);
  EXPECT_EQ(violations[0].File, "device/link/Planted.cpp");
  EXPECT_EQ(violations[0].Include, "ui/Dialogs.h");
  EXPECT_EQ(violations[1].File, "session/Planted.h");
  EXPECT_EQ(violations[1].Line, 3);
  EXPECT_EQ(violations[2].Include, "editor/SessionEditorWindow.h");
}

// The runner and the operations include nothing of each other, and an
// operation reaches no job, no storage and no window.
TEST(Layers, TheOperationsAndTheRunnerStayApart) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() / ("ovrel-layers-ops-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "device/operations");
  fs::create_directories(root / "device/link");
  std::ofstream(root / "device/operations/Planted.cpp")
      << "#include \"device/link/DeviceOperation.h\"\n"  // its base: allowed
      << "#include \"device/link/DeviceLink.h\"\n"
      << "#include \"device/jobs/DeviceJobs.h\"\n"
      << "#include \"storage/BackupHistory.h\"\n"
      << "#include \"memory/MemoryWindow.h\"\n";
  std::ofstream(root / "device/link/Planted.cpp")
      << "#include \"device/operations/LibraryUpload.h\"\n"
      << "#include \"storage/BackupHistory.h\"\n";
  const auto violations = CheckLayers(root);
  fs::remove_all(root);
  std::vector<std::string> found;
  for (const auto& v : violations) found.push_back(v.File + ":" + v.Include);
  EXPECT_EQ(found, (std::vector<std::string>{
                       "device/link/Planted.cpp:device/operations/LibraryUpload.h",
                       "device/link/Planted.cpp:storage/BackupHistory.h",
                       "device/operations/Planted.cpp:device/link/DeviceLink.h",
                       "device/operations/Planted.cpp:device/jobs/DeviceJobs.h",
                       "device/operations/Planted.cpp:storage/BackupHistory.h",
                       "device/operations/Planted.cpp:memory/MemoryWindow.h"}))
      << Describe(violations);
}

// A new folder must be given its place in the table before its files
// count as checked; tests, benchmarks and builds are no layer.
TEST(Layers, AFileInAFolderThatNoLayerNamesIsFound) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() / ("ovrel-layers-room-" + std::to_string(::getpid()));
  fs::remove_all(root);
  for (const char* folder : {"newroom", "tests/newroom", "bench", "build-asan/x", "session"})
    fs::create_directories(root / folder);
  for (const char* file : {"newroom/Thing.cpp", "tests/newroom/Test.cpp", "bench/Bench.cpp",
                           "build-asan/x/moc.cpp", "session/Fine.h"})
    std::ofstream(root / file) << "#pragma once\n";
  const auto violations = CheckLayers(root);
  fs::remove_all(root);
  ASSERT_EQ(violations.size(), 1u) << Describe(violations);
  EXPECT_EQ(violations[0].File, "newroom/Thing.cpp");
}

TEST(Layers, QtInALayerOfPureLogicIsFound) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() / ("ovrel-layers-qt-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "library");
  std::ofstream(root / "library/Planted.cpp") << "#include <QByteArray>\n#include <vector>\n";
  const auto violations = CheckLayers(root);
  fs::remove_all(root);
  ASSERT_EQ(violations.size(), 1u) << Describe(violations);
  EXPECT_EQ(violations[0].Include, "QByteArray");
}

}  // namespace
}  // namespace ovrel::layers
