#include "library/SessionScan.h"

#include "session/SesTime.h"
#include "format/SessionFile.h"

namespace ovrel {

namespace {

SessionScanRead ScanOf(const SessionLinesRead& read) {
  if (!read) return read.Failed();
  if (!read->TotalTimeError.empty()) return Failure{Fault::Syntax, read->TotalTimeError};
  SessionScan scan;
  scan.TotalTime = read->TotalTime;
  for (const PackedSegment& p : read->Segments) {
    scan.Segments.push_back(
        {p.TimeModeByte, p.FreqStartByte, p.FreqEndByte, p.PitchLowByte, p.Pitch2LowByte});
    scan.TimeUnits += p.TimeModeByte % 32;
  }
  return scan;
}

std::uint8_t LowByte(std::int32_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

std::string SessionScan::DeviceLengthWarning() const {
  return ovrel::DeviceLengthWarning(TotalTime[0], TotalTime[1]);
}

SessionRecord SessionScan::Record() const {
  SessionRecord record;
  record.Minutes = LowByte(TotalTime[0]);
  record.Seconds = LowByte(TotalTime[1]);
  for (const auto& numbers : Segments) {
    record.Segments.push_back({LowByte(numbers[0]), LowByte(numbers[1]), LowByte(numbers[2]),
                               LowByte(numbers[3]), LowByte(numbers[4])});
  }
  return record;
}

SessionScanRead ScanSessionText(std::string_view text, const std::string& fileName) {
  return ScanOf(ReadSessionLines(text, fileName));
}

SessionScanRead ScanSessionFile(const std::string& path) {
  return ScanOf(ReadSessionLinesFile(path));
}

SessionRecordRead ReadSessionRecord(std::string_view text, const std::string& sourceName) {
  const SessionScanRead read = ScanSessionText(text, sourceName);
  if (!read) return read.Failed();
  return read->Record();
}

}  // namespace ovrel
