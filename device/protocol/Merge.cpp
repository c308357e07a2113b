#include "device/protocol/Merge.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace ovrel {
namespace {

class LineReader {
 public:
  explicit LineReader(std::istream& in) : In(in) {}
  // Next line without its line end; false at the end of the file.
  bool Next(std::string& line) {
    if (!std::getline(In, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++Number;
    return true;
  }
  int Number = 0;

 private:
  std::istream& In;
};

std::string LineError(int line, const std::string& what) {
  return "Line " + std::to_string(line) + " of the session file " + what + ".";
}

// Reads count comma-terminated integer fields from the start of line; on
// failure returns the problem.
std::optional<std::string> ReadFields(std::string_view line, int count, std::uint8_t* out) {
  for (int i = 0; i < count; ++i) {
    const auto comma = line.find(',');
    if (comma == std::string_view::npos) {
      return "does not hold " + std::to_string(count) + " numbers, each followed by a comma";
    }
    std::string_view field = line.substr(0, comma);
    line.remove_prefix(comma + 1);
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
      field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
    if (field.size() > 1 && field.front() == '+' && field[1] != '-') field.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || ec != std::errc() || end != field.data() + field.size()) {
      return "has \"" + std::string(field) + "\" where a number is expected";
    }
    out[i] = static_cast<std::uint8_t>(value & 0xFF);
  }
  return std::nullopt;
}

int Word(std::span<const std::uint8_t> image, int offset) {
  return (image[offset] << 8) | image[offset + 1];
}

void PutWord(std::span<std::uint8_t> image, int offset, int value) {
  image[offset] = static_cast<std::uint8_t>(value >> 8);
  image[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

MergeSessionRead ReadSessionForMerge(std::istream& in) {
  LineReader reader(in);
  std::string line;
  bool found = false;
  while (!found && reader.Next(line)) found = line == "version=23";
  if (!found) return {std::nullopt, "The session file has no \"version=23\" line."};

  auto nextContent = [&]() {
    while (reader.Next(line)) {
      if (!line.starts_with('#')) return true;
    }
    return false;
  };
  MergeSession session;
  if (!nextContent()) return {std::nullopt, "The session file ends before its length line."};
  std::uint8_t header[2];
  if (auto err = ReadFields(line, 2, header)) return {std::nullopt, LineError(reader.Number, *err)};
  session.Minutes = header[0];
  session.Seconds = header[1];

  for (;;) {
    if (!nextContent()) return {std::nullopt, "The session file ends before its \"0,\" line."};
    if (line.starts_with("0,")) break;
    std::array<std::uint8_t, 5> segment{};
    if (auto err = ReadFields(line, 5, segment.data())) {
      return {std::nullopt, LineError(reader.Number, *err)};
    }
    session.Segments.push_back(segment);
  }
  return {std::move(session), {}};
}

std::optional<std::string> CheckLibraryImage(std::span<const std::uint8_t, kSesMemSize> image) {
  if (image[0] != kLibraryVersion) {
    return "its version byte is " + std::to_string(image[0]) + ", not 23";
  }
  const int n = image[1];
  const int dataStart = 4 + 2 * n;
  const int l = Word(image, 2);
  if (l < dataStart || l > kMaxSessionEnd + 1) {
    return "its checksum offset " + std::to_string(l) + " lies outside " +
           std::to_string(dataStart) + " to 2041";
  }
  for (int k = 0; k < n; ++k) {
    const int entry = Word(image, 4 + 2 * k);
    if (entry < dataStart || entry >= l) {
      return "the offset of session " + std::to_string(k + 1) + " lies outside the session data";
    }
  }
  if (XorSum(image.first(l)) != image[l]) return "its checksum does not match its contents";
  return std::nullopt;
}

MergeOutcome MergeSessionIntoImage(std::span<std::uint8_t, kSesMemSize> image,
                                   const MergeSession& session) {
  const int n = image[1];
  const int oldL = Word(image, 2);
  // The session count must fit its byte.
  if (n >= 255) return {};
  // The end byte lands at the old L + 4 + 5 per segment. The memory limit
  // is tested after each segment line, so a session without segment lines
  // is always added as long as its checksum still lies inside the image.
  const long end = oldL + 4 + 5L * static_cast<long>(session.Segments.size());
  if (!session.Segments.empty() && end > kMaxSessionEnd) return {};
  if (end + 1 >= kSesMemSize) return {};

  const int dataStart = 4 + 2 * n;
  image[1] = static_cast<std::uint8_t>(n + 1);
  for (int k = 0; k < n; ++k) PutWord(image, 4 + 2 * k, Word(image, 4 + 2 * k) + 2);
  std::copy_backward(image.begin() + dataStart, image.begin() + oldL + 1, image.begin() + oldL + 3);
  PutWord(image, dataStart, oldL + 2);

  int p = oldL + 2;
  image[p++] = session.Minutes;
  image[p++] = session.Seconds;
  for (const auto& segment : session.Segments) {
    std::copy(segment.begin(), segment.end(), image.begin() + p);
    p += 5;
  }
  image[p++] = 0;
  const int l = p;
  PutWord(image, 2, l);
  const std::uint8_t cs = XorSum(image.first(l));
  image[l] = cs;
  return {true, l, cs};
}

}  // namespace ovrel
