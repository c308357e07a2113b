#pragma once
// Which folder of the program may include which. Each source file belongs to
// the layer of the longest folder prefix in the table; an include of a file
// in another layer is allowed only when the table says so, and the layers of
// pure logic include no Qt header at all.

#include <filesystem>
#include <string>
#include <vector>

namespace ovrel::layers {

struct Violation {
  std::string File;  // relative to the source root
  int Line = 0;
  std::string Include;  // what it includes
  std::string Why;
};

// The program's .h and .cpp files under root: everything but the tests,
// the benchmarks and build folders.
std::vector<std::filesystem::path> ProgramSources(const std::filesystem::path& root);

// Checks every program file under root; a file in a folder that no layer
// names is a violation too.
std::vector<Violation> CheckLayers(const std::filesystem::path& root);

}  // namespace ovrel::layers
