#pragma once
// Writing a whole file so that it is either completely replaced or left as
// it was: the bytes go to a temporary file in the same folder, which is
// flushed to disk and then renamed over the target.

#include <string>
#include <string_view>

namespace ovrel {

struct FileWriteResult {
  bool ok = false;
  std::string error;  // on failure: "Cannot write <path>: <system error text>"
  explicit operator bool() const { return ok; }
};

// On failure the temporary file is removed and an existing file at path is
// left untouched. A symbolic link at path is followed; anything at path that
// is not a regular file (a folder, a device) is refused and left alone.
FileWriteResult writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace ovrel
