// Compiling the library list into the image, writing the library file, and
// reading images back.

#include <gtest/gtest.h>

#include <filesystem>

#include "library/LibraryCompiler.h"
#include "library/LibraryImage.h"
#include "library/LibraryList.h"
#include "library/LibraryTestFiles.h"

namespace ovrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

class LibraryCompilerTest : public ::testing::Test {
 protected:
  Bytes Compile() {
    const CompiledLibrary compiled = CompileSesLib(list.Entries());
    EXPECT_TRUE(compiled) << compiled.Error();
    return compiled ? compiled->Image : Bytes{};
  }
  Failure CompileFailure() {
    const CompiledLibrary compiled = CompileSesLib(list.Entries());
    EXPECT_FALSE(compiled);
    return compiled ? Failure{} : compiled.Failed();
  }
  void Add(const std::string& name, const std::string& text) {
    ASSERT_TRUE(list.Add(folder.write(name, text)).Ok()) << name;
  }

  test::TempFolder folder;
  LibraryList list;
};

TEST_F(LibraryCompilerTest, WorkedExamples) {
  EXPECT_EQ(Compile(), (Bytes{0x17, 0x00, 0x00, 0x04, 0x13}));
  Add("one.svs", test::DefaultSession(1));
  EXPECT_EQ(Compile(), (Bytes{0x17, 0x01, 0x00, 0x0E, 0x00, 0x06, 0x01, 0x00, 0x24, 0x0A, 0x0A,
                              0x64, 0x64, 0x00, 0x3B}));
}

TEST_F(LibraryCompilerTest, OffsetsFollowTheSegmentCounts) {
  const std::vector<int> counts = {3, 1, 17, 2, 40};
  for (std::size_t k = 0; k < counts.size(); ++k)
    Add("s" + std::to_string(k) + ".svs", test::DefaultSession(counts[k]));
  Add("again.svs", test::DefaultSession(3));
  const Bytes image = Compile();
  const int n = image[1];
  ASSERT_EQ(n, 6);
  auto word = [&image](int at) { return image[at] * 256 + image[at + 1]; };
  const int L = word(2);
  EXPECT_EQ(image.size(), static_cast<std::size_t>(L) + 1);
  EXPECT_EQ(word(4), 4 + 2 * n);
  for (int k = 0; k + 1 < n; ++k)
    EXPECT_EQ(word(4 + 2 * (k + 1)), word(4 + 2 * k) + 3 + 5 * list.Entry(k).NumOfSegs);
  EXPECT_EQ(L, word(4 + 2 * (n - 1)) + 3 + 5 * 3);
  EXPECT_EQ(image[L], LibChecksum(std::span(image).first(L)));

  const LibImageInfo info = ReadLibraryImage(image);
  EXPECT_TRUE(info.Valid()) << info.Problems.front();
  ASSERT_EQ(info.Sessions.size(), 6u);
  EXPECT_EQ(info.Sessions[4].Segments, 40);
  EXPECT_EQ(info.Sessions[4].Minutes, 40);
  EXPECT_EQ(info.FreeBytes, SesMemSize - L - 1);
}

TEST_F(LibraryCompilerTest, NumbersAreStoredAsTheirLowEightBitsAndCommentsSkipped) {
  Add("big.svs", test::SessionText("300,61,", {"# first", "36,10,10,100,100,", "#", "#x",
                                               "511,-1,384,300,65535,", "# last"}));
  const Bytes image = Compile();
  const Bytes record(image.begin() + 6, image.end() - 1);
  EXPECT_EQ(record, (Bytes{300 - 256, 61, 36, 10, 10, 100, 100, 0xFF, 0xFF, 0x80, 0x2C, 0xFF, 0}));
}

TEST_F(LibraryCompilerTest, ASessionOverTwoHundredFiftyFiveMinutesIsCompiledWithAWarning) {
  Add("fits.svs", test::SessionText("255,45,", {"36,10,10,100,100,"}));
  Add("long.svs", test::SessionText("500,5,", {"36,10,10,100,100,"}));
  const CompiledLibrary compiled = CompileSesLib(list.Entries());
  ASSERT_TRUE(compiled) << compiled.Error();
  EXPECT_EQ(compiled->Warnings,
            std::vector<std::string>{
                (folder.path() / "long.svs").string() +
                ": The session lasts 500:05, longer than 255 minutes: Sorvani shows a length "
                "modulo 256 minutes, so it will show 244:05."});
}

TEST_F(LibraryCompilerTest, FileChangedSinceItWasAddedIsRefused) {
  Add("a.svs", test::DefaultSession(2));
  Add("b.svs", test::DefaultSession(1));
  // Same number of segment lines: the bytes come from the file as it is now.
  folder.write("b.svs", test::SessionText("7,0,", {"60,1,2,3,4,"}));
  EXPECT_EQ(Compile()[21], 7);

  const auto b = folder.write("b.svs", test::DefaultSession(3));
  Failure failed = CompileFailure();
  EXPECT_EQ(failed.Kind, Fault::Changed);
  EXPECT_EQ(failed.Text, b + ": the file has changed since it was added to the library "
                             "(3 segment lines now, 1 before). Add it again.");
  folder.write("b.svs", test::SessionText("1,0,", {"36,10,10,100,"}));
  failed = CompileFailure();
  EXPECT_EQ(failed.Kind, Fault::Syntax);
  EXPECT_TRUE(failed.Text.starts_with(b + ", line 7: ")) << failed.Text;
  std::filesystem::remove(b);
  EXPECT_EQ(CompileFailure().Kind, Fault::NotFound);
}

TEST_F(LibraryCompilerTest, GrowingFileCannotPushTheImagePastTheMemory) {
  // The largest library that fits: 2045 bytes. Every file then grows.
  Add("a.svs", test::DefaultSession(380));
  Add("b.svs", test::DefaultSession(26));
  EXPECT_EQ(Compile().size(), 2045u);
  folder.write("b.svs", test::DefaultSession(380));
  EXPECT_EQ(CompileFailure().Kind, Fault::Changed);
  // Entries that do not fit are refused before any file is read.
  std::vector<LibraryEntry> entries(2, {"/missing.svs", 0, 0, 380});
  EXPECT_EQ(CompileSesLib(entries).Kind(), Fault::TooLarge);
}

TEST_F(LibraryCompilerTest, WrittenFileIsExactlyTheImageAndReplacesAtomically) {
  Add("a.svs", test::DefaultSession(4));
  const Bytes image = Compile();
  const std::string out = (folder.path() / "lib.svl").string();
  WriteLibraryFile(out, image);
  EXPECT_EQ(folder.read("lib.svl"), image);
  EXPECT_EQ(image.size(), 4u + 2 + 3 + 20 + 1);
  WriteLibraryFile(out, Bytes{0x17, 0, 0, 4, 0x13});
  EXPECT_EQ(folder.read("lib.svl"), (Bytes{0x17, 0, 0, 4, 0x13}));
  // Only the library is left in the folder: no temporary file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}

TEST_F(LibraryCompilerTest, FailedWriteKeepsTheEarlierFile) {
  const std::string out = (folder.path() / "lib.svl").string();
  WriteLibraryFile(out, Bytes{0x17, 0, 0, 4, 0x13});
  // A folder in the way of the rename: the write fails, the folder stays.
  const std::string blocked = (folder.path() / "dir.svl").string();
  std::filesystem::create_directory(blocked);
  std::filesystem::create_directory(blocked + "/inside");
  EXPECT_TRUE(WriteLibraryFile(blocked, Bytes{1, 2, 3}).has_value());
  EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inside"));
  EXPECT_NE(WriteLibraryFile(folder.path().string() + "/no/such/folder.svl", Bytes{1})
                .value_or("")
                .find("/no/such/folder.svl"),
            std::string::npos);
  EXPECT_EQ(folder.read("lib.svl"), (Bytes{0x17, 0, 0, 4, 0x13}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}

TEST(LibraryImage, ReportsBrokenImages) {
  const Bytes one{0x17, 0x01, 0x00, 0x0E, 0x00, 0x06, 0x01, 0x00,
                  0x24, 0x0A, 0x0A, 0x64, 0x64, 0x00, 0x3B};
  LibImageInfo info = ReadLibraryImage(one);
  EXPECT_TRUE(info.Valid());
  EXPECT_TRUE(info.ChecksumMatches());
  EXPECT_EQ(info.FreeBytes, 2033);
  ASSERT_EQ(info.Sessions.size(), 1u);
  EXPECT_EQ(info.Sessions[0].Offset, 6);
  EXPECT_EQ(info.Sessions[0].Minutes, 1);
  EXPECT_EQ(info.Sessions[0].Segments, 1);

  auto problems = [](const Bytes& bytes, LibImageLength length = LibImageLength::Exact) {
    return ReadLibraryImage(bytes, length).Problems;
  };
  Bytes bad = one;
  bad[12] ^= 1;  // a data byte: only the checksum no longer matches
  EXPECT_EQ(problems(bad),
            std::vector<std::string>{"the stored checksum does not match the image"});
  bad = one;
  bad[0] = 22;
  bad[14] ^= 22 ^ 23;
  EXPECT_EQ(problems(bad), std::vector<std::string>{"version 22 instead of 23"});
  bad = one;
  bad[5] = 7;  // offset of session 1
  bad[14] ^= 6 ^ 7;
  EXPECT_EQ(problems(bad).front(), "session 1 begins at 7 instead of 6");
  bad = one;
  bad[13] = 1;  // no end byte
  bad[14] ^= 1;
  EXPECT_EQ(problems(bad),
            std::vector<std::string>{"session 1 has no end byte before the checksum"});
  EXPECT_EQ(problems(Bytes(one.begin(), one.end() - 1)).front(),
            "the checksum offset 14 lies outside the image");
  EXPECT_EQ(problems(Bytes{0x17, 0}).front(),
            "the image is 2 bytes long, shorter than the 5 bytes of an empty library");

  // The session memory read back from the device: zeros after the checksum.
  Bytes memory = one;
  memory.resize(SesMemSize, 0);
  EXPECT_TRUE(ReadLibraryImage(memory, LibImageLength::Memory).Valid());
  EXPECT_FALSE(ReadLibraryImage(memory, LibImageLength::Exact).Valid());
  EXPECT_TRUE(ReadLibraryImage(Bytes{0x17, 0, 0, 4, 0x13}).Valid());
}

// The records read back from an image build that image again, in any order,
// and adding a session to the memory gives the image built with it last.
TEST(LibraryImage, RecordsRebuildTheImageInAnyOrderAndAnAddMatchesTheBuild) {
  SessionRecord first{1, 0, {{36, 10, 10, 100, 100}}};
  SessionRecord second{2, 30, {{33, 1, 2, 3, 4}, {34, 5, 6, 7, 8}, {35, 9, 10, 11, 12}}};
  const std::vector<SessionRecord> both{first, second};
  const auto image = BuildLibraryImage(both);
  ASSERT_TRUE(image);
  const LibImageInfo info = ReadLibraryImage(*image);
  ASSERT_TRUE(info.Valid());
  EXPECT_EQ(SessionRecordsOf(*image, info), both);

  const std::vector<SessionRecord> swapped{second, first};
  const auto reordered = BuildLibraryImage(swapped);
  ASSERT_TRUE(reordered);
  const LibImageInfo reorderedInfo = ReadLibraryImage(*reordered);
  ASSERT_TRUE(reorderedInfo.Valid());
  EXPECT_EQ(reorderedInfo.Sessions[1].Offset, 8 + 3 + 15);
  EXPECT_EQ(SessionRecordsOf(*reordered, reorderedInfo), swapped);

  MemoryImage memory{};
  const auto one = BuildLibraryImage(std::span(&first, 1));
  std::copy(one->begin(), one->end(), memory.begin());
  EXPECT_EQ(UsedLength(memory), one->size());
  ASSERT_TRUE(AppendSession(memory, second).Fits);
  EXPECT_EQ(Bytes(memory.begin(), memory.begin() + std::ssize(*image)), *image);
  EXPECT_EQ(Bytes(UsedImageBytes(memory).begin(), UsedImageBytes(memory).end()), *image);
  memory[0] = 22;  // no library: all of the memory is used
  EXPECT_EQ(UsedLength(memory), std::size_t{SesMemSize});

  // 2045 bytes fit, 2050 do not.
  SessionRecord big;
  big.Segments.assign(407, {36, 10, 10, 100, 100});
  EXPECT_EQ(BuildLibraryImage(std::span(&big, 1)).value_or(Bytes{}).size(), 2045u);
  big.Segments.push_back({36, 10, 10, 100, 100});
  EXPECT_FALSE(BuildLibraryImage(std::span(&big, 1)));
}

}  // namespace
}  // namespace ovrel
