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
  ASSERT_EQ(WhyNotSound(raw), nullptr) << WhyNotSound(raw)->Text;
  EXPECT_EQ(raw->Sessions->size(), 2u);
  EXPECT_EQ(LibraryFileProblems(padded), "");
  // Adds make more than 30 sessions; the device holds them.
  EXPECT_EQ(WhyNotSound(ReadLibraryFile(Write("many.svl", Library(31)))), nullptr);

  // Bytes after the library in a shorter file are no library file.
  Bytes trailing = Library(1);
  trailing.push_back(0);
  const LibraryFileRead longer = ReadLibraryFile(Write("longer.svl", trailing));
  // Its bytes are kept, to show what the file holds.
  ASSERT_TRUE(longer);
  EXPECT_EQ(longer->Bytes, trailing);
  const Failure* why = WhyNotSound(longer);
  ASSERT_NE(why, nullptr);
  EXPECT_EQ(why->Kind, Fault::NotLibrary);
  EXPECT_FALSE(why->Text.empty());
  EXPECT_EQ(why->Text, LibraryFileProblems(trailing));

  struct Case {
    std::string Path;
    Fault Kind;
  };
  for (const Case& c : {Case{(dir_ / "missing.svl").string(), Fault::NotFound},
                        Case{dir_.string(), Fault::NotRegular},
                        Case{Write("big.svl", Bytes(SesMemSize + 1, 0x17)), Fault::TooLarge}}) {
    const LibraryFileRead file = ReadLibraryFile(c.Path);
    ASSERT_FALSE(file) << c.Path;
    EXPECT_EQ(file.Kind(), c.Kind) << c.Path;
    ASSERT_NE(WhyNotSound(file), nullptr);
    EXPECT_EQ(WhyNotSound(file)->Kind, c.Kind) << c.Path;
  }
}

}  // namespace
}  // namespace ovrel
