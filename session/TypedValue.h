#pragma once
// A value typed into a cell of the editor grid, read for the cell's row: a
// number in the row's range, a mode by its abbreviation (or number), a time
// as minutes:seconds or as 15-second units.

#include <cstdint>
#include <string>

#include "base/Result.h"

namespace ovrel {

// The field's new value, within its range, or why the text was refused:
// Syntax (no value of the row at all) or OutOfRange.
using TypedValue = Result<int32_t>;

// Reads text (blanks around it ignored) as a value of grid row 1..5 (Time,
// Mode, Freq Start, Freq End, Pitch).
TypedValue ReadTypedValue(int row, const std::string& text);

}  // namespace ovrel
