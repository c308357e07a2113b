// A file that cannot be taken fails every reader and writer with the same
// kind of fault, whatever the reader adds to the message: the windows and
// `ovrel` choose their texts by that kind.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"
#include "fileio/TempDirTest.h"
#include "format/ExchangeFormat.h"
#include "format/FileFormats.h"
#include "format/LegacyImport.h"
#include "format/SessionFile.h"
#include "library/LibraryFileRead.h"
#include "library/SessionScan.h"

namespace ovrel {
namespace {

namespace fs = std::filesystem;
using FileFaults = TempDirTest;

struct Reader {
  const char* Extension;
  std::function<Result<void>(const std::string&)> Read;
};

// Each reader, its value dropped.
template <class T>
Result<void> Outcome(const Result<T>& r) {
  if (r) return {};
  return r.Failed();
}

const std::vector<Reader>& Readers() {
  static const std::vector<Reader> readers = {
      {".svs", [](const std::string& p) { return Outcome(ReadSessionFile(p)); }},
      {".svs", [](const std::string& p) { return Outcome(ScanSessionFile(p)); }},
      {".rvx",
       [](const std::string& p) {
         Session ses;
         return Outcome(ImportRvxFile(ses, p));
       }},
      {".sbg",
       [](const std::string& p) { return Outcome(ReadFormatFile(p, {FormatRole::Schedule})); }},
      {".gnaural",
       [](const std::string& p) { return Outcome(ReadFormatFile(p, {FormatRole::Schedule})); }},
      {".svl", [](const std::string& p) { return Outcome(ReadLibraryFile(p)); }},
  };
  return readers;
}

TEST_F(FileFaults, EveryReaderKeepsTheKindOfAFileFault) {
  for (const Reader& reader : Readers()) {
    const std::string ext = reader.Extension;
    fs::create_directory(dir_ / ("folder" + ext));
    // Larger than any file that is read: a library, a session or a schedule.
    std::ofstream(dir_ / ("big" + ext), std::ios::binary)
        << std::string(kMaxTextFileBytes + 1, '#');
    struct Case {
      std::string Name;
      Fault Kind;
    };
    for (const Case& c :
         {Case{"missing" + ext, Fault::NotFound}, Case{"folder" + ext, Fault::NotRegular},
          Case{"big" + ext, Fault::TooLarge}}) {
      const Result<void> r = reader.Read((dir_ / c.Name).string());
      ASSERT_FALSE(r) << c.Name;
      EXPECT_EQ(r.Kind(), c.Kind) << c.Name << ": " << r.Error();
    }
  }
}

TEST_F(FileFaults, EveryWriterRefusesAFolderForWhatItIs) {
  Session ses;
  fs::create_directory(dir_ / "taken.svs");
  fs::create_directory(dir_ / "taken.sbg");
  EXPECT_EQ(SaveSession(ses, (dir_ / "taken.svs").string()).Kind(), Fault::NotRegular);
  EXPECT_EQ(
      WriteFormatFile((dir_ / "taken.sbg").string(), {FormatRole::Schedule}, ses, "s", "p").Kind(),
      Fault::NotRegular);
  EXPECT_EQ(WriteFileAtomicallyNoFollow((dir_ / "taken.svs").string(), "x").Kind(),
            Fault::NotRegular);
}

}  // namespace
}  // namespace ovrel
