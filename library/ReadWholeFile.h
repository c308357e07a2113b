#pragma once
// Reading a whole file into memory, with errors that name the file.

#include <stdexcept>
#include <string>

namespace ovrel {

class FileReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The bytes of the file at `path`. Throws FileReadError ("<path>: cannot
// ... ." ) when it cannot be opened or read, or names a folder.
std::string ReadWholeFile(const std::string& path);

}  // namespace ovrel
