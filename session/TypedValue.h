#pragma once
// A value typed into a cell of the editor grid, read for the cell's row: a
// number in the row's range, a mode by its abbreviation (or number), a time
// as minutes:seconds or as 15-second units.

#include <cstdint>
#include <optional>
#include <string>

namespace ovrel {

struct TypedValue {
  std::optional<int32_t> Value;  // the field's new value, within its range
  std::string Error;             // why the text was refused, when it was
};

// Reads text (blanks around it ignored) as a value of grid row 1..5 (Time,
// Mode, Freq Start, Freq End, Pitch).
TypedValue ReadTypedValue(int row, const std::string& text);

}  // namespace ovrel
