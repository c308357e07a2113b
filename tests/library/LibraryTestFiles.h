#pragma once
// Session files written by the library tests into a private folder.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace ovrel::test {

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovrel-lib-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `text` to the file `name` in the folder; returns its full path.
  std::string write(const std::string& name, const std::string& text) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }

  std::vector<unsigned char> read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path path_;
};

inline const std::string kRuleLine = "#" + std::string(76, '-');

// A session file as the editor writes it: the header, the total time line,
// the given segment lines (each without its line end) and the end line.
inline std::string SessionText(const std::string& totalTime,
                               const std::vector<std::string>& segmentLines) {
  std::string text = kRuleLine + "\r\n# Sorvani Pro Session File\r\n" + kRuleLine +
                     "\r\nversion=23\r\n" + kRuleLine + "\r\n" + totalTime + "\r\n";
  for (const auto& line : segmentLines) text += line + "\r\n";
  return text + "0,\r\n" + kRuleLine + "\r\n";
}

// A session of `count` default segments (1 minute each).
inline std::string DefaultSession(int count) {
  return SessionText(std::to_string(count) + ",0,",
                     std::vector<std::string>(count, "36,10,10,100,100,"));
}

}  // namespace ovrel::test
