// Reading files from outside: only regular files, bounded in size, every
// failure a message naming the file and the system's reason.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "fileio/FileBytes.h"
#include "format/SessionFile.h"
#include "fileio/TempDirTest.h"

namespace ovrel {
namespace {

namespace fs = std::filesystem;
using FileBytesRead = TempDirTest;

TEST_F(FileBytesRead, PipesDevicesAndFoldersAreRefusedAtOnce) {
  const fs::path fifo = dir_ / "x.svs";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir_ / "zero.svs");
  // Opening the pipe would wait for a writer that never comes; reading the
  // device would never end.
  struct Case {
    fs::path Path;
    Fault Kind;
  };
  for (const Case& c : {Case{fifo, Fault::NotRegular}, Case{dir_ / "zero.svs", Fault::NotRegular},
                        Case{dir_, Fault::NotRegular}, Case{dir_ / "none", Fault::NotFound}}) {
    const FileBytes r = ReadFileBytes(c.Path.string(), kMaxTextFileBytes);
    ASSERT_FALSE(r) << c.Path;
    EXPECT_EQ(r.Kind(), c.Kind) << c.Path;
    // The message names the file first, so a list of failures says which is which.
    EXPECT_TRUE(r.Error().starts_with("Cannot read " + c.Path.string() + ": ")) << r.Error();
  }
  EXPECT_EQ(ReadFileBytes(fifo.string(), kMaxTextFileBytes).Error(),
            "Cannot read " + fifo.string() + ": it is a pipe (FIFO), not a regular file");
}

TEST_F(FileBytesRead, TheSizeLimitHoldsAlsoWhereTheSizeIsNotKnown) {
  const fs::path p = dir_ / "big.svs";
  std::ofstream(p, std::ios::binary) << std::string(kMaxTextFileBytes, '#');
  FileBytes r = ReadFileBytes(p.string(), kMaxTextFileBytes);
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ(r->size(), kMaxTextFileBytes);

  std::ofstream(p, std::ios::binary | std::ios::app) << "#";
  r = ReadFileBytes(p.string(), kMaxTextFileBytes);
  EXPECT_EQ(r.Kind(), Fault::TooLarge);
  EXPECT_EQ(r.Error(),
            "Cannot read " + p.string() + ": the file is larger than 1 MiB, the most that is read");

  // Files under /proc claim a size of 0 whatever they hold.
  r = ReadFileBytes("/proc/self/maps", 16);
  EXPECT_EQ(r.Kind(), Fault::TooLarge);
}

TEST_F(FileBytesRead, AReadErrorIsReportedWithTheSystemsReason) {
  // Reading /proc/self/mem at offset 0 fails with EIO: nothing is mapped there.
  const fs::path link = dir_ / "mem.svs";
  fs::create_symlink("/proc/self/mem", link);
  const FileBytes r = ReadFileBytes(link.string(), kMaxTextFileBytes);
  EXPECT_EQ(r.Kind(), Fault::CannotRead);
  EXPECT_EQ(r.Error(), "Cannot read " + link.string() + ": Input/output error");
  // The session reader hands the failure on as it is.
  const SessionReadResult session = ReadSessionFile(link.string());
  EXPECT_EQ(session.Kind(), Fault::CannotRead);
  EXPECT_EQ(session.Error(), r.Error());
}

TEST(SessionFileMessages, QuoteAShortExcerptOfALongField) {
  const std::string field(100000, '7');
  const std::string text = "version=23\r\n1,0,\r\n36," + field + "x,10,100,100,\r\n0,\r\n";
  const SessionReadResult r = ReadSessionText(text, "long.svs");
  EXPECT_EQ(r.Error(), "long.svs, line 3: field 2 (\"" + std::string(40, '7') +
                           "...\") is not a decimal integer");
  // A NUL would end the message where it is shown.
  const SessionReadResult nul =
      ReadSessionText(std::string("version=23\r\n1,0,\r\n36,1\0\t,10,100,100,\r\n0,\r\n", 42),
                      "nul.svs");
  EXPECT_EQ(nul.Error(), "nul.svs, line 3: field 2 (\"1\\x00\\x09\") is not a decimal integer");
}

}  // namespace
}  // namespace ovrel
