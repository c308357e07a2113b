// The one reader of library files: what every command and window calls a
// sound library.

#include <gtest/gtest.h>

#include <fstream>

#include "library/LibraryFileRead.h"
#include "fileio/TempDirTest.h"

namespace ovrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

class LibraryFileReadTest : public TempDirTest {
 protected:
  std::string Write(const char* name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // A library of count sessions of one segment each.
  static Bytes Library(int count) {
    const std::vector<SessionRecord> sessions(static_cast<std::size_t>(count),
                                              SessionRecord{1, 0, {{36, 10, 10, 100, 100}}});
    return BuildLibraryImage(sessions).value_or(Bytes{});
  }
};

TEST_F(LibraryFileReadTest, PaddedAndLargeLibrariesAreSoundAndOtherFilesAreNamedForWhatTheyAre) {
  // A raw download: the library, then zeros to the memory's size.
  Bytes padded = Library(2);
  padded.resize(SesMemSize, 0);
  const LibraryFileRead raw = ReadLibraryFile(Write("raw.svl", padded));
  ASSERT_TRUE(raw.Sound()) << raw.Error;
  EXPECT_EQ(raw.SessionCount, 2);
  EXPECT_EQ(LibraryFileProblems(padded), "");
  // Adds make more than 30 sessions; the device holds them.
  EXPECT_TRUE(ReadLibraryFile(Write("many.svl", Library(31))).Sound());

  // Bytes after the library in a shorter file are no library file.
  Bytes trailing = Library(1);
  trailing.push_back(0);
  const LibraryFileRead longer = ReadLibraryFile(Write("longer.svl", trailing));
  EXPECT_EQ(longer.Fault, LibraryFileFault::NotSound);
  EXPECT_FALSE(longer.Error.empty());
  EXPECT_EQ(longer.Error, LibraryFileProblems(trailing));

  EXPECT_EQ(ReadLibraryFile((dir_ / "missing.svl").string()).Fault, LibraryFileFault::Missing);
  EXPECT_EQ(ReadLibraryFile(dir_.string()).Fault, LibraryFileFault::NotRegular);
  EXPECT_EQ(ReadLibraryFile(Write("big.svl", Bytes(SesMemSize + 1, 0x17))).Fault,
            LibraryFileFault::TooBig);
}

}  // namespace
}  // namespace ovrel
