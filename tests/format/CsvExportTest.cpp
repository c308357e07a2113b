// The CSV export: its exact text and the file it writes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "format/CsvExport.h"
#include "session/SesTime.h"

namespace ovrel {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

TEST(CsvExport, TheDefaultSegment) {
  Session ses;
  EXPECT_EQ(SesCsvText(ses, "relax"), "relax\r\n\r\n0;0:00;10;100\r\n60;1:00;10;100\r\n");
}

TEST(CsvExport, TwoPointsASegmentEndingAtTheTotalTime) {
  Session ses;
  ses.SegCount = 3;
  ses[1] = {4, 0, 10, 12, 100};
  ses[2] = {5, 3, 12, 20, 300};
  ses[3] = {23, 6, 7, 7, 48};
  const std::vector<std::string> lines = Lines(SesCsvText(ses, "Mix;ed"));
  ASSERT_EQ(lines.size(), 2u + 2u * 3u);
  EXPECT_EQ(lines[0], "Mix;ed");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "0;0:00;10;100");
  EXPECT_EQ(lines[3], "60;1:00;12;100");
  EXPECT_EQ(lines[4], "60;1:00;12;300");
  EXPECT_EQ(lines[5], "135;2:15;20;300");
  EXPECT_EQ(lines[6], "135;2:15;7;48");
  EXPECT_EQ(lines[7], "480;8:00;7;48");
  EXPECT_EQ(lines[7].substr(0, lines[7].find(';')), std::to_string(SesTotalSeconds(ses)));

  ses.SegCount = 380;
  for (int k = 1; k <= 380; ++k) ses[k] = {23, 1, 10, 10, 100};
  const std::vector<std::string> full = Lines(SesCsvText(ses, "long"));
  ASSERT_EQ(full.size(), 762u);
  EXPECT_EQ(full.back(), "131100;2185:00;10;100");
}

TEST(CsvExport, ProposedFileName) {
  EXPECT_EQ(CsvExportFileName("/home/u/Sessions/Relax.svs", "Relax"), "/home/u/Sessions/Relax.csv");
  EXPECT_EQ(CsvExportFileName("", "Imported"), "Imported.csv");
}

TEST(CsvExport, WritesTheFileWholeReplacingAnOldOne) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("ovrel-csv-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "out.csv").string();
  std::ofstream(path) << "an older, longer file that must not shine through\n";
  Session ses;
  ASSERT_TRUE(ExportSesAsCSV(ses, "relax", path));
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, SesCsvText(ses, "relax"));
  const FileWriteResult bad = ExportSesAsCSV(ses, "relax", (dir / "no" / "such.csv").string());
  EXPECT_FALSE(bad);
  EXPECT_EQ(bad.Kind(), Fault::CannotWrite);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ovrel
