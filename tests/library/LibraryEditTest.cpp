// Editing the sessions of a library image, taking a session back as a file
// and finding the file a session came from.

#include <gtest/gtest.h>

#include "library/LibraryCompiler.h"
#include "library/LibraryEdit.h"
#include "library/LibraryTestFiles.h"
#include "library/SessionScan.h"
#include "format/SessionFile.h"

namespace ovrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Compiles the given files, in this order, as the compiler window does.
Bytes Compile(const std::vector<std::string>& paths) {
  std::vector<LibraryEntry> entries;
  for (const std::string& path : paths) {
    const SessionScanRead read = ScanSessionFile(path);
    EXPECT_TRUE(read) << read.Error();
    entries.push_back({path, 0, 0, static_cast<std::int32_t>(read->Segments.size())});
  }
  const CompiledLibrary compiled = CompileSesLib(entries);
  EXPECT_TRUE(compiled) << compiled.Error();
  return compiled ? compiled->Image : Bytes{};
}

Bytes Rebuilt(const std::vector<SessionRecord>& sessions) {
  return BuildLibraryImage(sessions).value_or(Bytes{});
}

TEST(LibraryEditTest, RemovedAndMovedSessionsGiveTheCompilersImage) {
  test::TempFolder folder;
  const std::string a = folder.write("a.svs", test::DefaultSession(2));
  const std::string b =
      folder.write("b.svs", test::SessionText("300,0,", {"52,12,20,44,44,", "87,140,148,44,200,"}));
  const std::string c = folder.write("c.svs", test::DefaultSession(1));
  const Bytes all = Compile({a, b, c});
  LibrarySessions read = ReadLibrarySessions(all, LibImageLength::Exact);
  ASSERT_TRUE(read) << read.Error();
  ASSERT_EQ(read->size(), 3u);

  std::vector<SessionRecord> sessions = *read;
  const std::vector<int> outOfRange = {0, 3};
  EXPECT_FALSE(RemoveSessions(sessions, outOfRange));
  EXPECT_EQ(sessions, *read);  // refused whole, nothing removed
  EXPECT_FALSE(MoveSession(sessions, 0, -1));
  EXPECT_FALSE(MoveSession(sessions, 2, 1));

  const std::vector<int> firstAndLast = {2, 0, 2};
  ASSERT_TRUE(RemoveSessions(sessions, firstAndLast));
  EXPECT_EQ(Rebuilt(sessions), Compile({b}));

  sessions = *read;
  ASSERT_TRUE(MoveSession(sessions, 2, -1));
  ASSERT_TRUE(MoveSession(sessions, 0, 1));
  EXPECT_EQ(Rebuilt(sessions), Compile({c, a, b}));
  // Sessions added one by one may pass the compiler's 30; such a memory is
  // still listed and edited.
  const std::vector<SessionRecord> many(31, (*read)[2]);
  const Bytes big = Rebuilt(many);
  MemoryImage memory{};
  std::copy(big.begin(), big.end(), memory.begin());
  const LibrarySessions fromMemory = ReadLibrarySessions(memory, LibImageLength::Memory);
  ASSERT_TRUE(fromMemory) << fromMemory.Error();
  EXPECT_EQ(*fromMemory, many);
  Bytes broken = big;
  broken[0] = 22;
  EXPECT_EQ(ReadLibrarySessions(broken, LibImageLength::Exact).Kind(), Fault::NotLibrary);

  const std::vector<int> all3 = {0, 1, 2};
  ASSERT_TRUE(RemoveSessions(sessions, all3));
  EXPECT_EQ(Rebuilt(sessions), (Bytes{0x17, 0x00, 0x00, 0x04, 0x13}));
}

TEST(LibraryEditTest, ExtractedFileCompilesBackToTheSameRecord) {
  // A second pitch slot unlike the first; a session of 300 minutes (the
  // record holds 44); a record whose length bytes disagree with its
  // segments; a segment with every byte at its top.
  const std::vector<SessionRecord> records = {
      {1, 0, {{36, 10, 10, 100, 200}, {151, 140, 20, 44, 45}}},
      {44, 0, std::vector<std::array<std::uint8_t, 5>>(80, {{47, 1, 1, 48, 48}})},
      {7, 59, {{36, 10, 10, 100, 100}}},
      {255, 255, {{255, 255, 255, 255, 255}}},
      {1, 30, {{36, 10, 10, 100, 100}, {32, 10, 10, 100, 100}}},
  };
  for (const SessionRecord& record : records) {
    const std::string text = SessionRecordFileText(record);
    const SessionRecordRead back = ReadSessionRecord(text, "extracted.svs");
    ASSERT_TRUE(back) << back.Error();
    EXPECT_EQ(*back, record);
    const SessionReadResult opened = ReadSessionText(text, "extracted.svs");
    ASSERT_TRUE(opened) << opened.Error();  // the editor opens it
    EXPECT_EQ(opened->SegCount, static_cast<int>(record.Segments.size()));
  }
  // The long session carries its real length, not the stored byte.
  EXPECT_NE(SessionRecordFileText(records[1]).find("\r\n300,0,\r\n"), std::string::npos);
  EXPECT_NE(SessionRecordFileText(records[2]).find("\r\n7,59,\r\n"), std::string::npos);
  // Only the minutes agree with the segments (1:00): the stored seconds stay.
  EXPECT_NE(SessionRecordFileText(records[4]).find("\r\n1,30,\r\n"), std::string::npos);
}

TEST(LibraryEditTest, MatchesTheFileWithTheSameSegmentsOnly) {
  test::TempFolder folder;
  folder.write("focus.svs", test::SessionText("2,0,", {"36,10,10,100,100,", "68,12,8,44,44,"}));
  folder.write("near.svs", test::SessionText("2,0,", {"36,10,10,100,100,", "68,12,8,44,45,"}));
  folder.write("broken.svs", "not a session");
  folder.write("notes.txt", test::DefaultSession(1));
  const std::vector<FolderSession> files = ScanSessionFolder(folder.path().string());
  ASSERT_EQ(files.size(), 2u);

  // The length bytes play no part: a stale total time line still matches.
  const SessionRecord same{9, 9, {{36, 10, 10, 100, 100}, {68, 12, 8, 44, 44}}};
  const FolderSession* match = MatchSessionFile(same, files);
  ASSERT_NE(match, nullptr);
  EXPECT_EQ(match->Path, (folder.path() / "focus.svs").string());
  const SessionRecord shorter{1, 0, {{36, 10, 10, 100, 100}}};
  EXPECT_EQ(MatchSessionFile(shorter, files), nullptr);
  const std::vector<int> modes = {1, 2};
  EXPECT_EQ(FactsOf(same).Modes, modes);
  EXPECT_EQ(FactsOf(same).FreqLow, 8);
  EXPECT_EQ(FactsOf(same).FreqHigh, 12);
}

TEST(LibraryEditTest, OfFilesWithTheSameSegmentsTheFirstByNameMatches) {
  // Made in the order of their names, so that a folder listed newest first
  // (or in any order but by name) would name another one.
  test::TempFolder folder;
  const std::string text = test::SessionText("1,0,", {"36,10,10,100,100,"});
  for (const char* name : {"calm-a.svs", "calm-b.svs", "calm-c.svs", "calm-d.svs", "calm-e.svs"})
    folder.write(name, text);
  const std::vector<FolderSession> files = ScanSessionFolder(folder.path().string());
  const FolderSession* match = MatchSessionFile({1, 0, {{36, 10, 10, 100, 100}}}, files);
  ASSERT_NE(match, nullptr);
  EXPECT_EQ(match->Path, (folder.path() / "calm-a.svs").string());
}

}  // namespace
}  // namespace ovrel
