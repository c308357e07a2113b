#pragma once
// A session file as the library compiler takes it: the numbers of its total
// time line and of every segment line, read by the one session reader. The
// editor's session model is not involved.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ovrel {

// A session file that cannot be read or does not follow the line rules. The
// message names the file and, where there is one, the line.
class SessionFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SessionScan {
  // The two numbers of the total time line (minutes, seconds), as written.
  std::array<std::int32_t, 2> totalTime{};
  // The five numbers of each segment line, in file order.
  std::vector<std::array<std::int32_t, 5>> segments;
  // Sum of the segments' Time (first number mod 32), in 15-second units.
  std::int64_t timeUnits = 0;
};

// Scans the text of a session file. `fileName` is used in messages only.
// Throws SessionFileError for whatever the session reader refuses
// (ReadSessionLines); a session without segment lines is accepted.
SessionScan ScanSessionText(std::string_view text, const std::string& fileName);

// Reads the file at `path` and scans it. Throws SessionFileError, also when
// the file cannot be read.
SessionScan ScanSessionFile(const std::string& path);

}  // namespace ovrel
