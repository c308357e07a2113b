#include "library/SessionScan.h"

#include "session/SessionFile.h"

namespace ovrel {

namespace {

SessionScan ScanOf(const SessionLinesRead& read) {
  if (!read) throw SessionFileError(read.error);
  if (!read.lines->TotalTimeError.empty()) throw SessionFileError(read.lines->TotalTimeError);
  SessionScan scan;
  scan.totalTime = read.lines->TotalTime;
  for (const PackedSegment& p : read.lines->Segments) {
    scan.segments.push_back(
        {p.TimeModeByte, p.FreqStartByte, p.FreqEndByte, p.PitchLowByte, p.Pitch2LowByte});
    scan.timeUnits += p.TimeModeByte % 32;
  }
  return scan;
}

}  // namespace

SessionScan ScanSessionText(std::string_view text, const std::string& fileName) {
  return ScanOf(ReadSessionLines(text, fileName));
}

SessionScan ScanSessionFile(const std::string& path) {
  return ScanOf(ReadSessionLinesFile(path));
}

}  // namespace ovrel
