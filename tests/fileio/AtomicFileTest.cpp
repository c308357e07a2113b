#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fileio/AtomicFile.h"
#include "fileio/FileSizeLimit.h"
#include "fileio/TempDirTest.h"

namespace ovrel {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public TempDirTest {
 protected:
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all);
    TempDirTest::TearDown();
  }
  // Saves as a user without privileges: root may write any file, so as
  // root the save runs in a child process as "nobody".
  static FileWriteResult SaveAsUser(const fs::path& p, const std::string& bytes) {
    if (::geteuid() != 0) return WriteFileAtomically(p.string(), bytes);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return Failure{Fault::CannotWrite, "no pipe"};
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(pipeFds[0]);
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
      const FileWriteResult r = WriteFileAtomically(p.string(), bytes);
      const std::string& error = r.Error();
      const bool sent =
          ::write(pipeFds[1], error.data(), error.size()) == static_cast<ssize_t>(error.size());
      ::_exit(r && sent ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string error;
    char chunk[512];
    for (ssize_t n; (n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;)
      error.append(chunk, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    return Failure{Fault::CannotWrite, error};
  }

  size_t Entries() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
};

TEST_F(AtomicFile, CreatesAndReplacesWithoutLeftovers) {
  const fs::path p = dir_ / "a.bin";
  const std::string bytes("\x00\x17\r\n\xff", 5);
  ASSERT_TRUE(WriteFileAtomically(p.string(), bytes));
  EXPECT_EQ(Slurp(p), bytes);
  ASSERT_TRUE(WriteFileAtomically(p.string(), "shorter"));
  EXPECT_EQ(Slurp(p), "shorter");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, ReplacingKeepsPermissionsOfTheOldFile) {
  const fs::path p = dir_ / "p.txt";
  std::ofstream(p) << "x";
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteFileAtomically(p.string(), "y"));
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(AtomicFile, FailureReportsSystemErrorAndKeepsOldFile) {
  FileWriteResult r = WriteFileAtomically((dir_ / "no" / "such.txt").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::CannotWrite);
  EXPECT_EQ(r.Error(),
            "Cannot write " + (dir_ / "no" / "such.txt").string() + ": No such file or directory");

  // A folder standing where the file should go is refused and left alone.
  fs::create_directory(dir_ / "taken");
  std::ofstream(dir_ / "taken" / "inner") << "keep";
  r = WriteFileAtomically((dir_ / "taken").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::NotRegular);
  EXPECT_EQ(Slurp(dir_ / "taken" / "inner"), "keep");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, WriteFailureKeepsOldFileAndLeavesNoTemporary) {
  const fs::path p = dir_ / "old.txt";
  std::ofstream(p) << "old";
  FileWriteResult r;
  {
    FileSizeLimit limit(16);  // a disk that fills up under the write
    r = WriteFileAtomically(p.string(), std::string(4096, 'x'));
  }
  EXPECT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::CannotWrite);
  EXPECT_EQ(Slurp(p), "old");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, SymlinkIsFollowedAndNonRegularTargetsAreRefused) {
  std::ofstream(dir_ / "real.txt") << "old";
  fs::create_symlink("real.txt", dir_ / "link.txt");
  ASSERT_TRUE(WriteFileAtomically((dir_ / "link.txt").string(), "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
  EXPECT_EQ(Slurp(dir_ / "real.txt"), "new");

  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  FileWriteResult r = WriteFileAtomically(fifo.string(), "x");
  EXPECT_EQ(r.Kind(), Fault::NotRegular);
  EXPECT_TRUE(fs::is_fifo(fifo));

  // A link to a file not yet there creates the file and stays a link.
  fs::create_symlink("sub/../later.txt", dir_ / "ahead.txt");
  fs::create_directory(dir_ / "sub");
  ASSERT_TRUE(WriteFileAtomically((dir_ / "ahead.txt").string(), "first"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "ahead.txt"));
  EXPECT_EQ(Slurp(dir_ / "later.txt"), "first");
}

// A file written piece by piece: nothing appears before the commit, a
// stream dropped half-way leaves the old file and no temporary, and the
// committed file keeps the permissions and the link of the one it replaces.
TEST_F(AtomicFile, StreamAppearsOnlyWhenCommitted) {
  std::ofstream(dir_ / "real.wav") << "old";
  fs::permissions(dir_ / "real.wav", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real.wav", dir_ / "link.wav");
  {
    AtomicFileStream dropped((dir_ / "link.wav").string());
    ASSERT_TRUE(dropped.IsOpen()) << dropped.Error().Error();
    ASSERT_EQ(::write(dropped.Descriptor(), "half", 4), 4);
    EXPECT_EQ(Entries(), 3u);  // the old file, the link and the temporary
  }
  EXPECT_EQ(Entries(), 2u);
  EXPECT_EQ(Slurp(dir_ / "real.wav"), "old");

  AtomicFileStream stream((dir_ / "link.wav").string());
  ASSERT_TRUE(stream.IsOpen());
  ASSERT_EQ(::write(stream.Descriptor(), "new", 3), 3);
  EXPECT_EQ(Slurp(dir_ / "real.wav"), "old");
  ASSERT_TRUE(stream.Commit());
  EXPECT_EQ(Slurp(dir_ / "real.wav"), "new");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.wav"));
  EXPECT_EQ(fs::status(dir_ / "real.wav").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Entries(), 2u);

  const fs::path fifo = dir_ / "pipe.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  AtomicFileStream refused(fifo.string());
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_EQ(refused.Error().Kind(), Fault::NotRegular);
  // Committing a stream that never opened reports why it did not open.
  const FileWriteResult committed = refused.Commit();
  EXPECT_EQ(committed.Kind(), Fault::NotRegular);
  EXPECT_EQ(committed.Error(), refused.Error().Error());
  EXPECT_EQ(Entries(), 3u);
}

TEST_F(AtomicFile, ReadOnlyFileIsRefusedAndKept) {
  fs::permissions(dir_, fs::perms::all);  // the folder would allow the rename
  const fs::path p = dir_ / "ro.svl";
  std::ofstream(p) << "old";
  fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const FileWriteResult r = SaveAsUser(p, "new");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.Error(), "Cannot write " + p.string() + ": Permission denied");
  EXPECT_EQ(Slurp(p), "old");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, WritableFileInAClosedFolderIsRewrittenInPlace) {
  const fs::path p = dir_ / "shared.svs";
  std::ofstream(p) << "the longer old contents";
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                         fs::perms::group_write | fs::perms::others_read |
                         fs::perms::others_write);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  const FileWriteResult r = SaveAsUser(p, "new");
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ(Slurp(p), "new");
  EXPECT_EQ(Entries(), 1u);

  // A new file cannot be made there at all.
  const FileWriteResult refused = SaveAsUser(dir_ / "other.svs", "x");
  EXPECT_EQ(refused.Kind(), Fault::CannotWrite);
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, InPlaceRewriteThatFailsHalfWayPutsTheOldContentsBack) {
  const fs::path p = dir_ / "shared.svs";
  const std::string old(40, 'o');
  std::ofstream(p) << old;
  fs::permissions(p, fs::perms::all);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  FileWriteResult r;
  {
    FileSizeLimit limit(64);  // the disk fills up after 64 bytes of the new contents
    r = SaveAsUser(p, std::string(4096, 'n'));
  }
  EXPECT_FALSE(r);
  EXPECT_EQ(Slurp(p), old);
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, NewFileIsNeverPutOverWhatHasItsName) {
  const fs::path p = dir_ / "new.svl";
  ASSERT_TRUE(WriteNewFileAtomically(p.string(), "first"));
  EXPECT_EQ(Slurp(p), "first");
  FileWriteResult r = WriteNewFileAtomically(p.string(), "second");
  EXPECT_EQ(r.Error(), "Cannot write " + p.string() + ": File exists");
  EXPECT_EQ(Slurp(p), "first");

  // A link, also one to a file not yet there, is neither followed nor replaced.
  std::ofstream(dir_ / "victim") << "mine";
  fs::create_symlink("victim", dir_ / "planted.svl");
  fs::create_symlink("nowhere", dir_ / "dangling.svl");
  EXPECT_FALSE(WriteNewFileAtomically((dir_ / "planted.svl").string(), "x"));
  EXPECT_FALSE(WriteNewFileAtomically((dir_ / "dangling.svl").string(), "x"));
  EXPECT_EQ(Slurp(dir_ / "victim"), "mine");
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "planted.svl"));
  EXPECT_EQ(Entries(), 4u);
}

// A file that appears at the name while the new file is being written
// (here the moment the temporary file is made, while a large write is under
// way) stays: the new file is not put over it.
TEST_F(AtomicFile, NewFileIsNotPutOverAFileThatAppearedDuringTheWrite) {
  const fs::path p = dir_ / "new.svl";
  const std::string bytes(8 * 1024 * 1024, 'n');
  int appeared = 0;
  for (int round = 0; round < 5; ++round) {
    fs::remove(p);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dir_.c_str(), IN_CREATE), 0);
    std::atomic<bool> made{false};
    std::thread other([&] {
      alignas(inotify_event) char events[4096];
      while (::read(watch, events, sizeof events) > 0) {
        const auto* event = reinterpret_cast<const inotify_event*>(events);
        if (event->len == 0 || std::string(event->name) == "new.svl") break;
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
          made = ::write(fd, "other", 5) == 5;
          ::close(fd);
        }
        break;
      }
    });
    const FileWriteResult r = WriteNewFileAtomically(p.string(), bytes);
    other.join();
    ::close(watch);
    if (made) {
      ++appeared;
      EXPECT_EQ(r.Kind(), Fault::CannotWrite);
      EXPECT_TRUE(Slurp(p) == "other");
    } else {
      EXPECT_TRUE(r) << r.Error();
    }
    EXPECT_EQ(Entries(), 1u);
  }
  EXPECT_GT(appeared, 0) << "the other file never appeared during a write";
}

// The working files of the program are never written through a link: a
// link (also one to a regular file) and anything else that is not a
// regular file is refused and left as it was.
TEST_F(AtomicFile, NoFollowReplacesOnlyARegularFile) {
  const fs::path p = dir_ / "SVPMemImg.svl";
  ASSERT_TRUE(WriteFileAtomicallyNoFollow(p.string(), "first"));
  ASSERT_TRUE(WriteFileAtomicallyNoFollow(p.string(), "second"));
  EXPECT_EQ(Slurp(p), "second");
  fs::remove(p);
  std::ofstream(dir_ / "victim") << "mine";
  fs::create_symlink("victim", p);
  EXPECT_EQ(WriteFileAtomicallyNoFollow(p.string(), "x").Error(),
            "Cannot write " + p.string() + ": it is a symbolic link");
  EXPECT_EQ(Slurp(dir_ / "victim"), "mine");
  EXPECT_TRUE(fs::is_symlink(p));
  fs::remove(p);
  ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
  EXPECT_EQ(WriteFileAtomicallyNoFollow(p.string(), "x").Kind(), Fault::NotRegular);
  EXPECT_TRUE(fs::is_fifo(p));
  EXPECT_EQ(Entries(), 2u);
}

TEST_F(AtomicFile, LongestNamesCanBeSavedAndReplaced) {
  // 250 bytes: a temporary name built from it would pass the 255 allowed.
  const fs::path p = dir_ / (std::string(246, 'n') + ".svs");
  ASSERT_TRUE(WriteFileAtomically(p.string(), "one")) << p;
  const FileWriteResult r = WriteFileAtomically(p.string(), "two");
  ASSERT_TRUE(r) << r.Error();
  EXPECT_EQ(Slurp(p), "two");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, RootKeepsTheOwnerAndGroupOfTheReplacedFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can save a file that another user owns";
  const fs::path p = dir_ / "theirs.svs";
  std::ofstream(p) << "x";
  ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(p.string(), "y"));
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace ovrel
