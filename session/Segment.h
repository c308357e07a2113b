#pragma once
// One segment of a session: five signed 32-bit parameters, and the display
// texts the editor grid shows for a segment.

#include <cstdint>
#include <string>

namespace ovrel {

inline constexpr int32_t MaxSegCount = 380;  // segments in one session
inline constexpr int32_t TimeUnit = 15;      // seconds per unit of Segment::Time

struct Segment {
  int32_t Time = 4;        // duration in units of TimeUnit, 1..23
  int32_t Mode = 1;        // stimulation mode, 0..6 (see ModeText)
  int32_t FreqStart = 10;  // 1..48
  int32_t FreqEnd = 10;    // 1..48
  int32_t Pitch = 100;     // tone pitch in hertz, 48..400

  friend bool operator==(const Segment&, const Segment&) = default;
};

// Parameter rows of the editor grid; row 0 is the segment number.
enum SegRow : int {
  RowSegNo = 0,
  RowTime = 1,
  RowMode = 2,
  RowFreqStart = 3,
  RowFreqEnd = 4,
  RowPitch = 5
};
inline constexpr int SegRowCount = 6;

// The captions of the grid's rows 0..5: "Seg. No.", "Time", "Mode", ...
const char* RowCaption(int row);

// "LR", "IN", "FB", "CR", "LA", "SA", "SL" for 0..6; any other value shows as
// its number (such modes only come from a file).
std::string ModeText(int32_t mode);

// Duration of Time units as minutes ":" two-digit seconds: 1 -> "0:15",
// 4 -> "1:00", 23 -> "5:45".
std::string SegTimeText(int32_t time);

// The text of row 0..5 of segment number k, as the editor grid shows it.
std::string SegCellText(const Segment& seg, int32_t k, int row);

// A reference to the field shown in row 1..5.
int32_t& SegField(Segment& seg, int row);
int32_t SegField(const Segment& seg, int row);

}  // namespace ovrel
