#include "session/Segment.h"

#include <array>
#include <cstdio>
#include <stdexcept>

namespace ovrel {

const char* RowCaption(int row) {
  static constexpr std::array<const char*, SegRowCount> kCaptions = {
      "Seg. No.", "Time", "Mode", "Freq Start", "Freq End", "Pitch"};
  return kCaptions.at(static_cast<size_t>(row));
}

std::string ModeText(int32_t mode) {
  static constexpr std::array<const char*, 7> kModes = {"LR", "IN", "FB", "CR", "LA", "SA", "SL"};
  if (mode >= 0 && mode < static_cast<int32_t>(kModes.size())) return kModes[mode];
  return std::to_string(mode);
}

std::string SegTimeText(int32_t time) {
  // Times below zero only come from a file; they show with a leading minus.
  const int64_t total = static_cast<int64_t>(time) * TimeUnit;
  const int64_t secs = total < 0 ? -total : total;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%lld:%02lld", total < 0 ? "-" : "",
                static_cast<long long>(secs / 60), static_cast<long long>(secs % 60));
  return buf;
}

int32_t& SegField(Segment& seg, int row) {
  switch (row) {
    case RowTime:
      return seg.Time;
    case RowMode:
      return seg.Mode;
    case RowFreqStart:
      return seg.FreqStart;
    case RowFreqEnd:
      return seg.FreqEnd;
    case RowPitch:
      return seg.Pitch;
    default:
      throw std::out_of_range("segment row " + std::to_string(row));
  }
}

int32_t SegField(const Segment& seg, int row) {
  return SegField(const_cast<Segment&>(seg), row);
}

std::string SegCellText(const Segment& seg, int32_t k, int row) {
  switch (row) {
    case RowSegNo:
      return std::to_string(k);
    case RowTime:
      return SegTimeText(seg.Time);
    case RowMode:
      return ModeText(seg.Mode);
    default:
      return std::to_string(SegField(seg, row));
  }
}

}  // namespace ovrel
