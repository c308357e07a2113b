#include "session/TypedValue.h"

#include <cctype>

#include "session/Segment.h"
#include "session/Sweep.h"

namespace ovrel {

namespace {

struct Range {
  int32_t Low, High;
};

Range RangeOf(int row) {
  switch (row) {
    case RowTime:
      return {1, 23};
    case RowMode:
      return {0, 6};
    case RowFreqStart:
    case RowFreqEnd:
      return {1, 48};
    default:
      return {48, 400};
  }
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A whole number of at most six digits; nothing for anything else.
std::optional<int32_t> Digits(const std::string& text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int32_t n = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

// "m:ss" as 15-second units; nothing when it is no time or not a whole unit.
std::optional<int32_t> TimeUnits(const std::string& text) {
  const auto colon = text.find(':');
  const std::string secondsText = text.substr(colon + 1);
  const std::optional<int32_t> minutes = Digits(text.substr(0, colon));
  const std::optional<int32_t> seconds = Digits(secondsText);
  if (!minutes || !seconds || secondsText.size() != 2 || *seconds > 59) return std::nullopt;
  const int32_t total = *minutes * 60 + *seconds;
  if (total % TimeUnit != 0) return std::nullopt;
  return total / TimeUnit;
}

std::string Refusal(int row) {
  switch (row) {
    case RowTime:
      return "A time is 0:15 to 5:45 in steps of 15 seconds, or 1 to 23 units of 15 seconds.";
    case RowMode:
      return "A mode is one of LR, IN, FB, CR, LA, SA and SL.";
    case RowFreqStart:
    case RowFreqEnd:
      return "A frequency is a whole number from 1 to 48.";
    default:
      return "A pitch is a whole number from 48 to 400.";
  }
}

std::optional<int32_t> Mode(const std::string& text) {
  if (const std::optional<int32_t> named = ModeFromName(text)) return named;
  return Digits(text);
}

}  // namespace

TypedValue ReadTypedValue(int row, const std::string& typed) {
  const std::string text = Trimmed(typed);
  std::optional<int32_t> value;
  if (row == RowMode)
    value = Mode(text);
  else if (row == RowTime && text.find(':') != std::string::npos)
    value = TimeUnits(text);
  else
    value = Digits(text);
  const Range range = RangeOf(row);
  if (!value) return Failure{Fault::Syntax, Refusal(row)};
  if (*value < range.Low || *value > range.High) return Failure{Fault::OutOfRange, Refusal(row)};
  return *value;
}

}  // namespace ovrel
