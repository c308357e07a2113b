#pragma once
// How long the program's functions are: each function body counted in
// lines from its opening brace to its closing one. Lambdas and local
// classes count with the function they sit in.

#include <filesystem>
#include <string>
#include <vector>

namespace ovrel::layers {

struct FunctionSpan {
  std::string File;  // relative to the source root
  int Line = 0;      // of the opening brace
  int Lines = 0;
  std::string Head;  // the end of what comes before the brace
};

// The function bodies of one file's text, outermost only.
std::vector<FunctionSpan> FunctionSpans(const std::string& text);

// The functions of the program under root (its tools aside) longer than
// maxLines.
std::vector<FunctionSpan> LongFunctions(const std::filesystem::path& root, int maxLines);

}  // namespace ovrel::layers
