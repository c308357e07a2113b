#include "format/CsvExport.h"

#include <cstdint>

namespace ovrel {

namespace {

// "elapsed;m:ss;frequency;pitch"; the seconds part is "00" when it is 0.
std::string PointLine(int64_t s, int32_t freq, int32_t pitch) {
  const int64_t sec = s % 60;
  return std::to_string(s) + ";" + std::to_string(s / 60) + ":" +
         (sec == 0 ? std::string("00") : std::to_string(sec)) + ";" + std::to_string(freq) + ";" +
         std::to_string(pitch) + "\r\n";
}

}  // namespace

std::string SesCsvText(const Session& ses, const std::string& sesName) {
  std::string out = sesName + "\r\n\r\n";
  int64_t s = 0;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const Segment& seg = ses[k];
    out += PointLine(s, seg.FreqStart, seg.Pitch);
    s += int64_t{seg.Time} * TimeUnit;
    out += PointLine(s, seg.FreqEnd, seg.Pitch);
  }
  return out;
}

FileWriteResult ExportSesAsCSV(const Session& ses, const std::string& sesName,
                               const std::string& path) {
  return WriteFileAtomically(path, SesCsvText(ses, sesName));
}

std::string CsvExportFileName(const std::string& sesFileName, const std::string& sesName) {
  const size_t slash = sesFileName.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : sesFileName.substr(0, slash + 1);
  return folder + sesName + ".csv";
}

}  // namespace ovrel
