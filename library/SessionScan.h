#pragma once
// Reading a session file the way the library compiler does: the numbers of
// its total time line and of every segment line, nothing else. The editor's
// session model is not involved, so the compiler and the command-line tool
// can read sessions without it.

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
// Throws SessionFileError for: no "version=23" line; a file that ends before
// the total time line or before the "0," line; a total time line with fewer
// than two, or a segment line with fewer than five comma-terminated numbers;
// a number that is not a decimal integer or does not fit 32 bits; a segment
// line whose first number is 0 in its low 8 bits (the device would read it as
// the end of the session); more than MaxSesFileSegs segment lines.
SessionScan ScanSessionText(std::string_view text, const std::string& fileName);

// Reads the file at `path` and scans it. Throws SessionFileError, also when
// the file cannot be read.
SessionScan ScanSessionFile(const std::string& path);

}  // namespace ovrel
