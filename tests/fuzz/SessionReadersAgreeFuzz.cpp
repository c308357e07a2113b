// Every part that reads session files (the editor, the library compiler,
// the single-session merge) is given the same bytes: they must agree on
// accepting or refusing them, on the message, and on the segments read.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "support/SessionReadersAgree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ovrel::test::ReadersVerdict verdict = ovrel::test::CompareSessionReaders(text);
  if (!verdict.disagreement.empty()) std::fprintf(stderr, "%s\n", verdict.disagreement.c_str());
  FUZZ_CHECK(verdict.disagreement.empty());
  return 0;
}
