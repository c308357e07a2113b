#include "library/ReadWholeFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ovrel {

std::string ReadWholeFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw FileReadError(path + ": cannot read the file: it is a folder.");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileReadError(path + ": cannot open the file: " + std::strerror(errno) + ".");
  std::ostringstream text;
  try {
    in.exceptions(std::ios::badbit);
    text << in.rdbuf();
  } catch (const std::ios_base::failure&) {
    throw FileReadError(path + ": cannot read the file.");
  }
  return std::move(text).str();
}

}  // namespace ovrel
