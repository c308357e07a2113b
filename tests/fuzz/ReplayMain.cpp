// Replays a fuzz target's corpus without libFuzzer: every file named on the
// command line, or found in a folder named there, is fed once to the
// target. A crash, a sanitizer report or a broken property ends the run.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  // A copy of exactly the file's size, so a read past the end is caught.
  auto* data = new std::uint8_t[bytes.size() + 1];
  std::copy(bytes.begin(), bytes.end(), data);
  LLVMFuzzerTestOneInput(data, bytes.size());
  delete[] data;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
      files.push_back(arg);
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      failures += Replay(file);
      ++count;
    }
  }
  std::printf("%d inputs replayed\n", count);
  if (count == 0) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  return failures == 0 ? 0 : 1;
}
