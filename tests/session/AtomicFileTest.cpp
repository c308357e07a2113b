#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "session/AtomicFile.h"
#include "session/FileSizeLimit.h"
#include "session/TempDirTest.h"

namespace ovrel {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public TempDirTest {
 protected:
  size_t Entries() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
};

TEST_F(AtomicFile, CreatesAndReplacesWithoutLeftovers) {
  const fs::path p = dir_ / "a.bin";
  const std::string bytes("\x00\x17\r\n\xff", 5);
  ASSERT_TRUE(writeFileAtomically(p.string(), bytes));
  EXPECT_EQ(Slurp(p), bytes);
  ASSERT_TRUE(writeFileAtomically(p.string(), "shorter"));
  EXPECT_EQ(Slurp(p), "shorter");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, ReplacingKeepsPermissionsOfTheOldFile) {
  const fs::path p = dir_ / "p.txt";
  std::ofstream(p) << "x";
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(writeFileAtomically(p.string(), "y"));
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(AtomicFile, FailureReportsSystemErrorAndKeepsOldFile) {
  FileWriteResult r = writeFileAtomically((dir_ / "no" / "such.txt").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error,
            "Cannot write " + (dir_ / "no" / "such.txt").string() + ": No such file or directory");

  // A folder standing where the file should go is refused and left alone.
  fs::create_directory(dir_ / "taken");
  std::ofstream(dir_ / "taken" / "inner") << "keep";
  r = writeFileAtomically((dir_ / "taken").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Cannot write " + (dir_ / "taken").string() + ": Is a directory");
  EXPECT_EQ(Slurp(dir_ / "taken" / "inner"), "keep");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, WriteFailureKeepsOldFileAndLeavesNoTemporary) {
  const fs::path p = dir_ / "old.txt";
  std::ofstream(p) << "old";
  FileWriteResult r;
  {
    FileSizeLimit limit(16);  // a disk that fills up under the write
    r = writeFileAtomically(p.string(), std::string(4096, 'x'));
  }
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Cannot write " + p.string() + ": File too large");
  EXPECT_EQ(Slurp(p), "old");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, SymlinkIsFollowedAndNonRegularTargetsAreRefused) {
  std::ofstream(dir_ / "real.txt") << "old";
  fs::create_symlink("real.txt", dir_ / "link.txt");
  ASSERT_TRUE(writeFileAtomically((dir_ / "link.txt").string(), "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
  EXPECT_EQ(Slurp(dir_ / "real.txt"), "new");

  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  FileWriteResult r = writeFileAtomically(fifo.string(), "x");
  EXPECT_EQ(r.error, "Cannot write " + fifo.string() + ": Operation not permitted");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace
}  // namespace ovrel
