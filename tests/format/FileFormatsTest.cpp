// The table of file formats: what each entry reads back of what it writes,
// that a file name finds exactly one format, that a command reads and
// writes only the formats of its roles, and which schedules end open.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>

#include "ExchangeSessions.h"
#include "fileio/TempDirTest.h"
#include "format/FileFormats.h"
#include "format/SbgFormat.h"

namespace ovrel {
namespace {

constexpr std::initializer_list<FormatRole> kAllRoles = {
    FormatRole::SessionFile, FormatRole::Legacy, FormatRole::Schedule, FormatRole::Table};

class FileFormatTable : public TempDirTest {
 protected:
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
};

TEST_F(FileFormatTable, EveryFormatThatIsReadReadsBackWhatItWrites) {
  const Session full = FullTestSession();
  int roundTrips = 0;
  for (const FileFormat& format : FileFormats()) {
    if (!format.Read || !format.Write) continue;
    const std::string path = Path("full" + std::string(format.Extension));
    ASSERT_TRUE(WriteFormatFile(path, kAllRoles, full, "full", "Test")) << format.Extension;
    const ExchangeRead back = ReadFormatFile(path, kAllRoles);
    ASSERT_TRUE(back) << format.Extension << ": " << back.Error();
    ASSERT_EQ(back->Session.SegCount, full.SegCount) << format.Extension;
    for (int32_t k = 1; k <= full.SegCount; ++k) {
      Segment want = full[k];
      // A format without modes gives every segment the imported mode.
      if (back->Session[k].Mode != want.Mode) want.Mode = kImportedMode;
      EXPECT_EQ(back->Session[k], want) << format.Extension << " segment " << k;
    }
    ++roundTrips;
  }
  EXPECT_GE(roundTrips, 3);  // the session file and both schedules
}

TEST_F(FileFormatTable, AFileNameFindsOneFormatWhateverItsCase) {
  std::set<std::string> seen;
  for (const FileFormat& format : FileFormats()) {
    const std::string ext(format.Extension);
    EXPECT_TRUE(ext.size() > 1 && ext[0] == '.') << ext;
    EXPECT_TRUE(format.Read || format.Write) << ext;
    EXPECT_FALSE(format.Name.empty()) << ext;
    EXPECT_TRUE(seen.insert(ext).second) << ext << " twice";
    std::string upper = "Some.Name" + ext;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_EQ(FileFormatOf("/a/b/" + upper), &format) << upper;
    EXPECT_EQ(FileFormatOf("x" + ext + ".txt"), nullptr) << ext;
    // A name that shows its pattern shows its own.
    const std::string name(format.Name);
    if (name.find('(') != std::string::npos) {
      EXPECT_NE(name.find("(*" + ext + ")"), std::string::npos) << name;
    }
  }
}

TEST_F(FileFormatTable, ACommandReadsAndWritesOnlyTheFormatsOfItsRoles) {
  // Each format asked for under every other role: an .svs picked in the
  // schedule import, a .csv typed in the schedule export.
  Write("in.svs", SessionFileText(Session{}));
  Write("in.sbg", "a: 200+10/50\nNOW a\n");
  for (const FileFormat& format : FileFormats()) {
    for (const FormatRole other : kAllRoles) {
      if (other == format.Role) continue;
      const std::string out = Path("out" + std::string(format.Extension));
      const FileWriteResult w = WriteFormatFile(out, {other}, Session{}, "x", "p");
      EXPECT_FALSE(w) << format.Extension;
      EXPECT_EQ(w.Error(), "Cannot write " + out + ": Unsupported session file format.");
      EXPECT_FALSE(std::filesystem::exists(out)) << format.Extension;
      const ExchangeRead r = ReadFormatFile(Path("in" + std::string(format.Extension)), {other});
      EXPECT_FALSE(r) << format.Extension;
      EXPECT_EQ(r.Error(), "Unsupported session file format");
    }
  }
  EXPECT_TRUE(ReadFormatFile(Path("in.svs"), {FormatRole::SessionFile}));
  EXPECT_TRUE(ReadFormatFile(Path("in.sbg"), {FormatRole::Schedule}));
}

TEST_F(FileFormatTable, FiltersAndMessagesListTheFormatsTheyAreGiven) {
  const std::vector<const FileFormat*> schedules = WritableFormats({FormatRole::Schedule});
  ASSERT_EQ(schedules.size(), 2u);
  EXPECT_EQ(DialogFilter(schedules),
            "SBaGen schedule (*.sbg)|*.sbg|Gnaural schedule (*.gnaural)|*.gnaural");
  EXPECT_EQ(CombinedDialogFilter("Beat schedule", schedules),
            "Beat schedule (*.sbg *.gnaural)|*.sbg *.gnaural");
  EXPECT_EQ(ExtensionsText(WritableFormats({FormatRole::SessionFile, FormatRole::Schedule})),
            "a .svs, .sbg or .gnaural");
  EXPECT_EQ(ExtensionsText(WritableFormats({FormatRole::Table})), "a .csv");
  // The legacy format is only read, the table only written.
  EXPECT_TRUE(WritableFormats({FormatRole::Legacy}).empty());
  EXPECT_TRUE(ReadableFormats({FormatRole::Table}).empty());
}

TEST_F(FileFormatTable, AScheduleEndsOpenWhenItsLastLinePlaysABinauralToneOn) {
  const struct {
    const char* text;
    bool open;
  } cases[] = {
      {"alpha: 200+10/50\nNOW alpha\n", true},
      {"\xEF\xBB\xBF"
       "a: 200+10/50\n0:00 a\n",
       true},
      {"a: 200+10/50\nb: 150+4/50\nNOW a\n+00:10 b\n", true},
      {"a: 200+10/50\noff: -\nNOW a\n+00:10 off\n", false},
      {"-E\na: 200+10/50\nNOW a\n+00:10 a\n", false},
      {"a: 200+10/50\nb: {\n+00:00 a\n}\nNOW b\n", true},
      {"a: 200+10/50\nNOW b\n", false},                  // refused: b is not defined
      {"a: bell600/20\nNOW a\n", false},                 // refused: no binaural tone
      {"a: 200+10/50\nb: {\n+00:00 a\nNOW b\n", false},  // refused: the block is not closed
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SbgEndsOpen(c.text), c.open) << c.text;
    Write("case.sbg", c.text);
    EXPECT_EQ(FormatFileEndsOpen(Path("case.sbg"), {FormatRole::Schedule}), c.open) << c.text;
    // What the probe says is what the import does: it asks for a length
    // only where the reader gives the open end one.
    const ExchangeRead read = ReadFormatFile(Path("case.sbg"), {FormatRole::Schedule}, {7});
    const bool givesLength =
        read && std::any_of(read->Changes.begin(), read->Changes.end(), [](const std::string& c) {
          return c.find("plays on with no end; the session gives it 7:00.") != std::string::npos;
        });
    EXPECT_EQ(givesLength, c.open) << c.text;
  }
  // The gnaural schedules loop, and the session file has no open end.
  Write("loop.gnaural", "<schedule></schedule>");
  EXPECT_FALSE(FormatFileEndsOpen(Path("loop.gnaural"), {FormatRole::Schedule}));
  EXPECT_FALSE(FormatFileEndsOpen(Path("missing.sbg"), {FormatRole::Schedule}));
}

}  // namespace
}  // namespace ovrel
