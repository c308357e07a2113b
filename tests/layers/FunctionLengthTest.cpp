// No function of the program runs over 80 lines, and the count that says
// so finds the bodies a reader would.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "layers/FunctionLength.h"

namespace ovrel::layers {
namespace {

std::string Describe(const std::vector<FunctionSpan>& spans) {
  std::string out;
  for (const FunctionSpan& s : spans)
    out += s.File + ":" + std::to_string(s.Line) + ": " + std::to_string(s.Lines) + " lines (" +
           s.Head + ")\n";
  return out;
}

TEST(FunctionLength, NoFunctionOfTheProgramRunsOverEightyLines) {
  const auto spans = LongFunctions(OVREL_SOURCE_DIR, 80);
  EXPECT_TRUE(spans.empty()) << Describe(spans);
}

// Each case: a file's text and the (line, length) of each function body
// found in it, outermost only.
TEST(FunctionLength, BodiesAreCountedFromBraceToBraceWhateverTheyHold) {
  struct Case {
    const char* Name;
    const char* Text;
    std::vector<std::pair<int, int>> Spans;
  };
  const Case cases[] = {
      {"a function in a namespace", "namespace a {\nint F() {\n  return 1;\n}\n}\n", {{2, 3}}},
      {"a lambda counts with its function",
       "void F() {\n  auto g = [] {\n    return 2;\n  };\n}\n",
       {{1, 5}}},
      {"a class is no function, its members are",
       "class C : public B {\n public:\n  int F() const { return 1; }\n  void G()\n  {\n  }\n};\n",
       {{3, 1}, {5, 2}}},
      {"braces in strings, characters and comments",
       "void F() {\n  const char* s = \"}\";\n  char c = '}';  // }\n  /* } */\n}\n",
       {{1, 5}}},
      {"a raw string", "void F() {\n  auto s = R\"(\n}\n)\";\n}\n", {{1, 5}}},
      {"a constructor with an initializer list",
       "C::C(int a)\n    : a_(a), b_{a} {\n}\n",
       {{2, 2}}},
      {"an initialised table is no function",
       "const std::vector<Row> kRows = {\n    {1, 2},\n    {F(3), 4},\n};\nvoid G() {}\n",
       {{5, 1}}},
      {"a macro before a namespace",
       "Q_DECLARE_METATYPE(ovrel::X)\nnamespace b {\nvoid F() {}\n}\n",
       {{3, 1}}},
      {"a directive with a brace", "#define OPEN {\nvoid F() {\n}\n", {{2, 2}}},
      {"a digit separator", "int F() {\n  return 1'000;\n}\nvoid G() {}\n", {{1, 3}, {4, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::pair<int, int>> found;
    for (const FunctionSpan& s : FunctionSpans(c.Text)) found.emplace_back(s.Line, s.Lines);
    EXPECT_EQ(found, c.Spans);
  }
}

// A planted function of 81 lines is found, one of 80 is not; the tools
// and the tests are not the program's.
TEST(FunctionLength, APlantedLongFunctionIsFoundWithItsFileAndLine) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("ovrel-length-" + std::to_string(::getpid()));
  fs::remove_all(root);
  for (const char* folder : {"session", "tools/devsim", "tests/session"})
    fs::create_directories(root / folder);
  const auto body = [](int lines) {
    std::string text = "\nvoid F() {\n";
    for (int i = 0; i < lines - 2; ++i) text += "  ++x;\n";
    return text + "}\n";
  };
  std::ofstream(root / "session/Long.cpp") << body(81);
  std::ofstream(root / "session/Short.cpp") << body(80);
  std::ofstream(root / "tools/devsim/Long.cpp") << body(200);
  std::ofstream(root / "tests/session/Long.cpp") << body(200);
  const auto spans = LongFunctions(root, 80);
  fs::remove_all(root);
  ASSERT_EQ(spans.size(), 1u) << Describe(spans);
  EXPECT_EQ(spans[0].File, "session/Long.cpp");
  EXPECT_EQ(spans[0].Line, 2);
  EXPECT_EQ(spans[0].Lines, 81);
}

}  // namespace
}  // namespace ovrel::layers
