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
