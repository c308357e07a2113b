// Values typed into the editor grid: what each row takes and what it refuses.
#include <gtest/gtest.h>

#include "session/Segment.h"
#include "session/TypedValue.h"

namespace ovrel {
namespace {

struct Case {
  int Row;
  const char* Text;
  std::optional<int32_t> Expected;  // nothing: refused
};

TEST(TypedValue, EachRowTakesItsRangeAndForms) {
  const Case cases[] = {
      // Times as m:ss in whole 15-second units, or as units.
      {RowTime, "1:30", 6},
      {RowTime, "0:15", 1},
      {RowTime, "5:45", 23},
      {RowTime, " 2:00 ", 8},
      {RowTime, "7", 7},
      {RowTime, "23", 23},
      {RowTime, "0:00", std::nullopt},
      {RowTime, "6:00", std::nullopt},
      {RowTime, "1:20", std::nullopt},  // not a whole unit
      {RowTime, "1:5", std::nullopt},
      {RowTime, "1:75", std::nullopt},
      {RowTime, ":30", std::nullopt},
      {RowTime, "24", std::nullopt},
      {RowTime, "0", std::nullopt},
      // Modes by their abbreviation in either case, or their number.
      {RowMode, "LR", 0},
      {RowMode, "sl", 6},
      {RowMode, "Fb", 2},
      {RowMode, "3", 3},
      {RowMode, "7", std::nullopt},
      {RowMode, "XX", std::nullopt},
      {RowMode, "L", std::nullopt},
      // Frequencies and pitches: whole numbers in their ranges.
      {RowFreqStart, "1", 1},
      {RowFreqStart, "48", 48},
      {RowFreqEnd, "49", std::nullopt},
      {RowFreqEnd, "0", std::nullopt},
      {RowFreqEnd, "-5", std::nullopt},
      {RowFreqEnd, "12.5", std::nullopt},
      {RowPitch, "48", 48},
      {RowPitch, "400", 400},
      {RowPitch, "47", std::nullopt},
      {RowPitch, "401", std::nullopt},
      {RowPitch, "99999999999", std::nullopt},
      {RowPitch, "", std::nullopt},
      {RowPitch, "1e2", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(RowCaption(c.Row)) + " \"" + c.Text + "\"");
    const TypedValue v = ReadTypedValue(c.Row, c.Text);
    EXPECT_EQ(v ? std::optional<int32_t>(*v) : std::nullopt, c.Expected);
    // A refusal always says what the row takes.
    EXPECT_EQ(v.Error().empty(), c.Expected.has_value()) << v.Error();
  }
}

TEST(TypedValue, ARefusalSaysWhetherTheTextWasANumberOutOfRange) {
  struct Case {
    int Row;
    std::string Text;
    Fault Kind;
  };
  for (const Case& c :
       {Case{RowFreqEnd, "49", Fault::OutOfRange}, Case{RowPitch, "47", Fault::OutOfRange},
        Case{RowTime, "6:00", Fault::OutOfRange}, Case{RowFreqEnd, "12.5", Fault::Syntax},
        Case{RowMode, "L", Fault::Syntax}, Case{RowTime, "1:10", Fault::Syntax},
        Case{RowPitch, "", Fault::Syntax}}) {
    const TypedValue v = ReadTypedValue(c.Row, c.Text);
    ASSERT_FALSE(v) << c.Text;
    EXPECT_EQ(v.Kind(), c.Kind) << c.Text;
  }
}

}  // namespace
}  // namespace ovrel
