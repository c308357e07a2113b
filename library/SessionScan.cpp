#include "library/SessionScan.h"

#include <charconv>
#include <optional>

#include "library/LibraryTypes.h"
#include "library/ReadWholeFile.h"

namespace ovrel {

namespace {

constexpr std::string_view kVersionLine = "version=23";

// Hands out the lines of a text one at a time, with their 1-based numbers.
// Lines end in LF; a CR before the LF is not part of the line.
class LineReader {
 public:
  LineReader(std::string_view text, const std::string& fileName)
      : text_(text), fileName_(fileName) {}

  // The next line, or nothing at the end of the text.
  std::optional<std::string_view> next() {
    if (pos_ >= text_.size()) return std::nullopt;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++lineNo_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

  // The next line; at the end of the text, an error saying what was missing.
  std::string_view require(std::string_view missing) {
    auto line = next();
    if (!line) fail("the file ends before " + std::string(missing), false);
    return *line;
  }

  // The next line that does not begin with "#".
  std::string_view requireSkippingComments(std::string_view missing) {
    std::string_view line = require(missing);
    while (line.starts_with('#')) line = require(missing);
    return line;
  }

  [[noreturn]] void fail(const std::string& what, bool atLine = true) const {
    if (atLine)
      throw SessionFileError(fileName_ + ", line " + std::to_string(lineNo_) + ": " + what + ".");
    throw SessionFileError(fileName_ + ": " + what + ".");
  }

 private:
  std::string_view text_;
  const std::string& fileName_;
  std::size_t pos_ = 0;
  int lineNo_ = 0;
};

// Parses the first `N` comma-terminated decimal integers of `line`. What
// follows the last comma is not read.
template <std::size_t N>
std::array<std::int32_t, N> ParseNumbers(std::string_view line, const LineReader& reader,
                                         std::string_view lineKind) {
  std::array<std::int32_t, N> numbers{};
  for (std::size_t i = 0; i < N; ++i) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
      reader.fail(std::string(lineKind) + " has fewer than " + std::to_string(N) +
                  " comma-terminated numbers");
    }
    std::string_view field = line.substr(0, comma);
    line.remove_prefix(comma + 1);
    const char* first = field.data();
    const char* last = field.data() + field.size();
    auto [ptr, ec] = std::from_chars(first, last, numbers[i]);
    const std::string quoted =
        "number " + std::to_string(i + 1) + " \"" + std::string(field) + "\"";
    if (ec == std::errc::result_out_of_range)
      reader.fail(quoted + " does not fit a 32-bit integer");
    if (ec != std::errc() || ptr != last) reader.fail(quoted + " is not a decimal integer");
  }
  return numbers;
}

}  // namespace

SessionScan ScanSessionText(std::string_view text, const std::string& fileName) {
  LineReader reader(text, fileName);
  SessionScan scan;

  // Everything up to and including the version line is skipped.
  for (;;) {
    auto line = reader.next();
    if (!line) reader.fail("no \"version=23\" line", false);
    if (*line == kVersionLine) break;
  }

  // Comment lines (the rule line among them) lead to the total time line.
  std::string_view line = reader.requireSkippingComments("the total time line");
  scan.totalTime = ParseNumbers<2>(line, reader, "the total time line");

  constexpr std::string_view kNoEnd = "its \"0,\" line";
  line = reader.require(kNoEnd);
  while (!line.starts_with("0,")) {
    while (line.starts_with('#')) line = reader.require(kNoEnd);
    if (line.starts_with("0,")) break;
    if (scan.segments.size() == MaxSesFileSegs)
      reader.fail("more than " + std::to_string(MaxSesFileSegs) + " segment lines");
    const auto numbers = ParseNumbers<5>(line, reader, "the segment line");
    if ((numbers[0] & 0xFF) == 0)
      reader.fail("the first number of a segment line is 0 in its low 8 bits");
    scan.timeUnits += numbers[0] % 32;
    scan.segments.push_back(numbers);
    line = reader.require(kNoEnd);
  }
  return scan;
}

SessionScan ScanSessionFile(const std::string& path) {
  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const FileReadError& e) {
    throw SessionFileError(e.what());
  }
  return ScanSessionText(text, path);
}

}  // namespace ovrel
