#pragma once
// One entry of the library list: a session file gathered for a library.

#include <cstdint>
#include <string>

namespace ovrel {

struct LibraryEntry {
  std::string FilePath;        // full path of the session file
  std::int32_t Minutes = 0;    // whole minutes of the session, computed from its segments
  std::int32_t Seconds = 0;    // the remaining seconds
  std::int32_t NumOfSegs = 0;  // number of segment lines in the file

  bool operator==(const LibraryEntry&) const = default;
};

}  // namespace ovrel
