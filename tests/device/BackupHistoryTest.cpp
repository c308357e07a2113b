// The backup history of device memory images, and how the device link
// hands it every image it reads.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <set>
#include <thread>

#include "LinkTestSupport.h"
#include "device/link/DeviceLink.h"
#include "device/serial/SerialPort.h"
#include "storage/BackupHistory.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

using Image = std::array<std::uint8_t, SesMemSize>;

Image ImageOf(const Bytes& bytes) {
  Image img{};
  std::copy(bytes.begin(), bytes.end(), img.begin());
  return img;
}

const QDateTime kNoon(QDate(2026, 3, 1), QTime(12, 0, 0), Qt::UTC);

class BackupHistoryTest : public ::testing::Test {
 protected:
  QString Folder() const { return Dir.filePath(QStringLiteral("backups")); }
  QStringList Names() const {
    QStringList names;
    for (const QString& path : BackupHistory(Folder()).Files()) names << QFileInfo(path).fileName();
    return names;
  }
  QTemporaryDir Dir;
};

TEST_F(BackupHistoryTest, KeepsTheUsedBytesOnceForEqualConsecutiveImages) {
  BackupHistory history(Folder());
  const Bytes one = LibraryWithSegments(2);
  const auto kept = history.Keep(ImageOf(one), BackupReason::Read, kNoon);
  ASSERT_TRUE(kept.Error.isEmpty()) << kept.Error.toStdString();
  EXPECT_EQ(QFileInfo(kept.Path).fileName(), "2026-03-01T12-00-00Z-000001-read.svl");
  // A library file like any other: the used bytes, not 2048.
  EXPECT_EQ(ReadFile(kept.Path), one);

  // Read again unchanged: not kept twice.
  EXPECT_EQ(history.Keep(ImageOf(one), BackupReason::Read, kNoon.addSecs(60)).Path, kept.Path);
  EXPECT_EQ(Names().size(), 1);

  // Changed, then back to the first image: both are kept, newest last.
  history.Keep(ImageOf(LibraryWithSegments(3)), BackupReason::Read, kNoon.addSecs(120));
  history.Keep(ImageOf(one), BackupReason::Read, kNoon.addSecs(180));
  EXPECT_EQ(Names(), (QStringList{"2026-03-01T12-00-00Z-000001-read.svl",
                                  "2026-03-01T12-02-00Z-000002-read.svl",
                                  "2026-03-01T12-03-00Z-000003-read.svl"}));
  EXPECT_EQ(ReadFile(history.Newest()), one);
}

// The history is in the order of reading: reads within one second, a
// clock set back and more than nine reads in a second never overwrite a
// backup nor put a new one before an old one.
TEST_F(BackupHistoryTest, ReadsKeepTheirOrderWhateverTheClockSays) {
  QDir().mkpath(Folder());
  // Names of older versions, in local time, come first; -9 before -10.
  WriteFile(Folder() + "/2026-03-01T13-00-00-10.svl", LibraryWithSegments(6));
  WriteFile(Folder() + "/2026-03-01T13-00-00-9.svl", LibraryWithSegments(5));
  BackupHistory history(Folder());
  std::vector<Bytes> kept{LibraryWithSegments(5), LibraryWithSegments(6)};
  for (int i = 0; i < 12; ++i) {
    kept.push_back(LibraryWithSegments(1 + i % 3));
    // The last read comes after the clock was set back by an hour.
    const auto k = history.Keep(ImageOf(kept.back()), BackupReason::Read,
                                i < 11 ? kNoon : kNoon.addSecs(-3600));
    ASSERT_TRUE(k.Error.isEmpty()) << k.Error.toStdString();
    EXPECT_EQ(history.Newest(), k.Path);
  }
  std::vector<Bytes> found;
  for (const QString& path : history.Files()) found.push_back(ReadFile(path));
  EXPECT_EQ(found, kept);
  EXPECT_EQ(BackupHistory::ReadTime(history.Newest()), kNoon.addSecs(-3600));
}

// Another program may put a file or a link at the name a backup is to
// take: it is neither replaced nor written through.
TEST_F(BackupHistoryTest, ALinkAtTheNextNameIsNeverFollowed) {
  BackupHistory history(Folder());
  history.Keep(ImageOf(LibraryWithSegments(1)), BackupReason::Read, kNoon);
  WriteFile(Dir.filePath("victim"), LibraryWithSegments(4));
  ASSERT_TRUE(
      QFile::link(Dir.filePath("victim"), Folder() + "/2026-03-01T12-00-00Z-000002-read.svl"));
  const auto kept = history.Keep(ImageOf(LibraryWithSegments(2)), BackupReason::Read, kNoon);
  ASSERT_TRUE(kept.Error.isEmpty()) << kept.Error.toStdString();
  EXPECT_EQ(QFileInfo(kept.Path).fileName(), "2026-03-01T12-00-00Z-000003-read.svl");
  EXPECT_EQ(ReadFile(kept.Path), LibraryWithSegments(2));
  EXPECT_EQ(ReadFile(Dir.filePath("victim")), LibraryWithSegments(4));
}

TEST_F(BackupHistoryTest, AMemoryWithoutAValidLibraryIsKeptWhole) {
  BackupHistory history(Folder());
  Image blank{};
  blank.fill(0xFF);
  EXPECT_EQ(ReadFile(history.Keep(blank, BackupReason::Read, kNoon).Path), Bytes(SesMemSize, 0xFF));
  // A library whose checksum is wrong is no valid library either.
  Bytes broken = LibraryWithSegments(1);
  broken.back() ^= 0x01;
  EXPECT_EQ(
      ReadFile(history.Keep(ImageOf(broken), BackupReason::Read, kNoon.addSecs(1)).Path).size(),
      std::size_t{SesMemSize});
}

TEST_F(BackupHistoryTest, OnlyTheNewestFiftyAreKeptAndOtherFilesAreLeftAlone) {
  QDir().mkpath(Folder());
  WriteFile(Folder() + "/mine.svl", LibraryWithSegments(1));
  BackupHistory history(Folder());
  for (int i = 0; i < kBackupsKept + 5; ++i)
    history.Keep(ImageOf(LibraryWithSegments(1 + i % 2)), BackupReason::Read, kNoon.addSecs(i));
  QStringList names = Names();
  ASSERT_EQ(names.size(), kBackupsKept);
  EXPECT_EQ(names.front(), "2026-03-01T12-00-05Z-000006-read.svl");
  EXPECT_EQ(names.back(), "2026-03-01T12-00-54Z-000055-read.svl");
  EXPECT_TRUE(QFile::exists(Folder() + "/mine.svl"));

  // Pruned by the order of reading: a read made with the clock a year
  // behind is kept, and the oldest read goes.
  const auto kept =
      history.Keep(ImageOf(LibraryWithSegments(3)), BackupReason::Read, kNoon.addYears(-1));
  names = Names();
  ASSERT_EQ(names.size(), kBackupsKept);
  EXPECT_EQ(names.back(), QFileInfo(kept.Path).fileName());
  EXPECT_EQ(names.front(), "2026-03-01T12-00-06Z-000007-read.svl");
}

// Why each backup was kept is in its name; a restore looks for the memory
// as it was before the last write, and a plain read that follows (which may
// have caught a half-written memory) never stands in for it, nor does a
// link. Names of older versions count as plain reads.
TEST_F(BackupHistoryTest, TheRestoreTargetIsTheMemoryBeforeTheLastWrite) {
  QDir().mkpath(Folder());
  WriteFile(Folder() + "/2026-03-01T11-00-00Z-000001.svl", LibraryWithSegments(1));
  BackupHistory history(Folder());
  EXPECT_EQ(history.RestoreTarget()->Path, Folder() + "/2026-03-01T11-00-00Z-000001.svl");
  const auto first = history.Keep(ImageOf(LibraryWithSegments(2)), BackupReason::BeforeAdd, kNoon);
  const auto read =
      history.Keep(ImageOf(LibraryWithSegments(3)), BackupReason::Read, kNoon.addSecs(1));
  // The same memory read again is kept again when a write follows.
  const auto second =
      history.Keep(ImageOf(LibraryWithSegments(3)), BackupReason::BeforeEdit, kNoon.addSecs(2));
  EXPECT_NE(second.Path, read.Path);
  history.Keep(ImageOf(LibraryWithSegments(4)), BackupReason::Read, kNoon.addSecs(3));
  Bytes unsound = LibraryWithSegments(5);
  unsound.back() ^= 1;
  history.Keep(ImageOf(unsound), BackupReason::BeforeUpload, kNoon.addSecs(4));
  WriteFile(Dir.filePath("elsewhere.svl"), LibraryWithSegments(6));
  ASSERT_TRUE(QFile::link(Dir.filePath("elsewhere.svl"),
                          Folder() + "/2026-03-01T12-00-05Z-000008-upload.svl"));

  const std::vector<BackupEntry> entries = history.Entries();
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[0].Reason, BackupReason::Read);
  EXPECT_EQ(entries[1].Path, first.Path);
  EXPECT_EQ(BackupHistory::ReasonOf(first.Path), BackupReason::BeforeAdd);
  EXPECT_EQ(BackupHistory::ReasonText(entries[3].Reason), "before edit");
  EXPECT_EQ(entries[4].Reason, BackupReason::Read);
  EXPECT_EQ(entries[6].Kind, BackupKind::Link);
  EXPECT_EQ(history.RestoreTarget()->Path, second.Path);
  // Reads never push the last backup before a write out of the history.
  for (int i = 0; i < kBackupsKept + 2; ++i)
    history.Keep(ImageOf(LibraryWithSegments(1 + i % 2)), BackupReason::Read, kNoon.addSecs(9 + i));
  EXPECT_EQ(history.Entries().size(), std::size_t{kBackupsKept});
  EXPECT_EQ(history.RestoreTarget()->Path, second.Path);
}

// Sequence numbers go on past nine digits, and the longer names stay in
// the history: listed in order, newest last, and pruned.
TEST_F(BackupHistoryTest, NumbersGrowPastNineDigits) {
  QDir().mkpath(Folder());
  WriteFile(Folder() + "/2026-03-01T11-00-00Z-999999999-read.svl", LibraryWithSegments(1));
  BackupHistory history(Folder());
  const auto kept = history.Keep(ImageOf(LibraryWithSegments(2)), BackupReason::BeforeAdd, kNoon);
  ASSERT_TRUE(kept.Error.isEmpty()) << kept.Error.toStdString();
  EXPECT_EQ(QFileInfo(kept.Path).fileName(), "2026-03-01T12-00-00Z-1000000000-add.svl");
  EXPECT_EQ(history.Newest(), kept.Path);
  EXPECT_EQ(history.RestoreTarget()->Path, kept.Path);
  for (int i = 0; i < kBackupsKept; ++i)
    history.Keep(ImageOf(LibraryWithSegments(1 + i % 2)), BackupReason::Read, kNoon.addSecs(i + 1));
  EXPECT_EQ(Names().size(), kBackupsKept);
  EXPECT_FALSE(QFile::exists(Folder() + "/2026-03-01T11-00-00Z-999999999-read.svl"));
  EXPECT_EQ(Names().back(), "2026-03-01T12-00-50Z-1000000050-read.svl");
}

// A name with a longer number than any version makes (a stray file) is no
// backup: it neither stops the next backup with a name too long for the
// file system, nor is it listed or pruned.
TEST_F(BackupHistoryTest, AStrayNameWithAHugeNumberIsLeftAlone) {
  QDir().mkpath(Folder());
  const QString stray =
      Folder() + "/2026-03-01T11-00-00Z-" + QString(223, QLatin1Char('9')) + "-read.svl";
  WriteFile(stray, LibraryWithSegments(1));
  ASSERT_TRUE(QFile::exists(stray));
  BackupHistory history(Folder());
  const auto kept =
      history.Keep(ImageOf(LibraryWithSegments(2)), BackupReason::BeforeUpload, kNoon);
  ASSERT_TRUE(kept.Error.isEmpty()) << kept.Error.toStdString();
  EXPECT_EQ(Names(), QStringList{"2026-03-01T12-00-00Z-000001-upload.svl"});
  for (int i = 0; i < kBackupsKept; ++i)
    history.Keep(ImageOf(LibraryWithSegments(1 + i % 2)), BackupReason::Read, kNoon.addSecs(i + 1));
  EXPECT_TRUE(QFile::exists(stray));
}

// A write that began and did not go through whole (cut off, or its program
// killed) leaves a memory that may pass as a library: nothing kept after it
// stands for the memory before a write, until a write goes through whole,
// and the backup kept before it is never pruned meanwhile.
TEST_F(BackupHistoryTest, NothingKeptAfterACutOffWriteIsTakenForTheMemoryBeforeIt) {
  BackupHistory history(Folder());
  const Bytes original = LibraryWithSegments(2);
  const Bytes torn = LibraryWithSegments(3);  // sound, as a torn memory can be
  const auto before = history.Keep(ImageOf(original), BackupReason::BeforeUpload, kNoon);
  history.WriteBegins(before.Path);  // and never ends
  history.Keep(ImageOf(torn), BackupReason::Read, kNoon.addSecs(1));
  const auto retry = history.Keep(ImageOf(torn), BackupReason::BeforeUpload, kNoon.addSecs(2));
  ASSERT_NE(retry.Path, before.Path);
  history.WriteBegins(retry.Path);
  history.WriteEnded(retry.Path, false);
  ASSERT_TRUE(history.RestoreTarget());
  EXPECT_EQ(history.RestoreTarget()->Path, before.Path);
  for (int i = 0; i < 60; ++i) {
    history.Keep(ImageOf(LibraryWithSegments(4 + i % 20)), BackupReason::Read,
                 kNoon.addSecs(3 + i));
  }
  EXPECT_EQ(Names().size(), kBackupsKept);
  EXPECT_TRUE(QFile::exists(before.Path));
  EXPECT_EQ(history.RestoreTarget()->Path, before.Path);

  // A write that goes through whole ends it: what it replaced is the memory
  // before the last write again.
  const Bytes written = LibraryWithSegments(5);
  const auto restoring =
      history.Keep(ImageOf(LibraryWithSegments(6)), BackupReason::BeforeUpload, kNoon.addSecs(70));
  history.WriteBegins(restoring.Path);
  history.WriteEnded(restoring.Path, true);
  EXPECT_EQ(history.RestoreTarget()->Path, before.Path);  // kept while the memory was torn
  const auto next = history.Keep(ImageOf(written), BackupReason::BeforeAdd, kNoon.addSecs(71));
  history.WriteBegins(next.Path);
  history.WriteEnded(next.Path, true);
  EXPECT_EQ(history.RestoreTarget()->Path, next.Path);
}

// A write cut off after its last block leaves the memory it was writing, so
// the retry's backup equals what the next write replaces. That next write
// keeps a backup of its own: when it is cut off in turn, the memory before
// it (left by the retry, which went through whole) is what restore brings
// back, not the memory before the first cut-off write.
TEST_F(BackupHistoryTest, EachWriteHasItsOwnBackupEvenOfAnEqualMemory) {
  BackupHistory history(Folder());
  const Bytes written = LibraryWithSegments(3);
  const auto first =
      history.Keep(ImageOf(LibraryWithSegments(2)), BackupReason::BeforeUpload, kNoon);
  history.WriteBegins(first.Path);  // killed after its last block
  const auto retry = history.Keep(ImageOf(written), BackupReason::BeforeUpload, kNoon.addSecs(1));
  history.WriteBegins(retry.Path);
  history.WriteEnded(retry.Path, true);
  const auto again = history.Keep(ImageOf(written), BackupReason::BeforeUpload, kNoon.addSecs(2));
  EXPECT_NE(again.Path, retry.Path);
  history.WriteBegins(again.Path);  // killed in its blocks
  ASSERT_TRUE(history.RestoreTarget());
  EXPECT_EQ(history.RestoreTarget()->Path, again.Path);
  EXPECT_EQ(ReadFile(history.RestoreTarget()->Path), written);

  // Reads of an unchanged memory are still kept once.
  const auto read = history.Keep(ImageOf(written), BackupReason::Read, kNoon.addSecs(3));
  EXPECT_EQ(history.Keep(ImageOf(written), BackupReason::Read, kNoon.addSecs(4)).Path, read.Path);
}

// Two programs keeping a backup at the same moment choose the same name:
// the one that finds it taken takes the next number, and no backup is lost.
TEST_F(BackupHistoryTest, KeepersRacingForOneNameAllKeepTheirBackups) {
  constexpr int kKeepers = 6;
  for (int round = 0; round < 5; ++round) {
    const QString folder = Folder() + QString::number(round);
    QDir().mkpath(folder);
    std::atomic<int> ready{0};
    std::vector<QString> errors(kKeepers);
    std::vector<std::thread> keepers;
    for (int k = 0; k < kKeepers; ++k) {
      keepers.emplace_back([&, k] {
        ++ready;
        while (ready < kKeepers) std::this_thread::yield();
        errors[k] = BackupHistory(folder)
                        .Keep(ImageOf(LibraryWithSegments(1 + k)), BackupReason::Read, kNoon)
                        .Error;
      });
    }
    for (std::thread& keeper : keepers) keeper.join();
    for (const QString& error : errors) EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    std::set<Bytes> found;
    for (const QString& path : BackupHistory(folder).Files()) found.insert(ReadFile(path));
    EXPECT_EQ(found.size(), std::size_t{kKeepers});
  }
}

// Whatever has a backup's name is listed: what is not a regular file as
// broken (it is never restored), a link as a link.
TEST_F(BackupHistoryTest, EntriesThatAreNoFilesAreListedAsBroken) {
  QDir().mkpath(Folder() + "/2026-03-01T12-00-00Z-000001-read.svl");
  ASSERT_EQ(::mkfifo(QFile::encodeName(Folder() + "/2026-03-01T12-00-00Z-000002-upload.svl"), 0600),
            0);
  ASSERT_TRUE(
      QFile::link(Dir.filePath("gone.svl"), Folder() + "/2026-03-01T12-00-00Z-000003-upload.svl"));
  BackupHistory history(Folder());
  const std::vector<BackupEntry> entries = history.Entries();
  ASSERT_EQ(entries.size(), 3u);
  for (const BackupEntry& entry : entries)
    EXPECT_EQ(entry.Kind, BackupKind::Broken) << entry.Path.toStdString();
  EXPECT_FALSE(history.RestoreTarget());
  // The next backup comes after them.
  const auto kept = history.Keep(ImageOf(LibraryWithSegments(1)), BackupReason::Read, kNoon);
  EXPECT_EQ(QFileInfo(kept.Path).fileName(), "2026-03-01T12-00-00Z-000004-read.svl");
}

TEST_F(BackupHistoryTest, AFolderThatCannotBeMadeIsReported) {
  WriteFile(Dir.filePath("file"), Bytes{1});
  BackupHistory history(Dir.filePath("file/backups"));
  const auto kept = history.Keep(ImageOf(LibraryWithSegments(1)), BackupReason::Read, kNoon);
  EXPECT_TRUE(kept.Path.isEmpty());
  EXPECT_FALSE(kept.Error.isEmpty());
}

// The add of the windows and of the remote requests: the image its read
// found is kept before anything is written; when it cannot be kept the add
// closes the transfer it opened and writes nothing.
TEST(DeviceJobsBackupTest, AddKeepsWhatItReadAndWritesNothingWhenKeepingFails) {
  const QTemporaryDir dir;
  // The working files of the add land in dir; the old folder comes back
  // however the test ends.
  struct BackToFolder {
    QString Old = QDir::currentPath();
    ~BackToFolder() { QDir::setCurrent(Old); }
  } backToFolder;
  QDir::setCurrent(dir.path());
  const Bytes before = LibraryWithSegments(3);
  DevSim sim({"--log"}, Padded(before));
  SerialPort port;
  RecordingUi ui;
  DeviceLink link(port, ui, LinkTiming{}.Scaled(0.2));
  link.SetPort(QString::fromStdString(sim.path()));
  WriteFile(dir.filePath("ses.svs"), kOneSegmentSession);

  // A file where the history's folder should be: nothing can be kept there.
  WriteFile(dir.filePath("no-history"), Bytes{1});
  DeviceJobs blocked(link, dir.filePath("no-history"));
  const JobResult refused = RunToEnd(
      [&](DeviceJobs::Done done) { blocked.Add(dir.filePath("ses.svs"), WriteOptions{}, done); });
  EXPECT_EQ(refused.Failed, JobFailure::NotKept);
  EXPECT_EQ(refused.Message.Id, JobText::BackupFailed);
  EXPECT_FALSE(refused.Message.Detail.isEmpty());
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O");
  EXPECT_EQ(sim.memory(), Padded(before));

  DeviceJobs jobs(link, dir.filePath("history"));
  const JobResult added = RunToEnd(
      [&](DeviceJobs::Done done) { jobs.Add(dir.filePath("ses.svs"), WriteOptions{}, done); });
  ASSERT_TRUE(added.Ok()) << added.Reason().toStdString();
  EXPECT_TRUE(added.BackupPath.startsWith(dir.filePath("history") + "/"));
  EXPECT_EQ(ReadFile(added.BackupPath), before);
  EXPECT_EQ(LoggedCommands(sim.log()),
            "I" + Repeat('r', 16) + "O" + "I" + Repeat('r', 16) + UploadCommands(false));
  EXPECT_NE(sim.memory(), Padded(before));
}

// A read keeps what it read in the user's history unless asked not to.
TEST(DeviceJobsBackupTest, AReadKeepsTheImageInTheUsersHistory) {
  const Bytes library = LibraryWithSegments(4);
  DevSim sim({}, Padded(library));
  SerialPort port;
  RecordingUi ui;
  DeviceLink link(port, ui, LinkTiming{}.Scaled(0.2));
  DeviceJobs jobs(link);
  link.SetPort(QString::fromStdString(sim.path()));
  const QStringList before = BackupHistory().Files();
  ASSERT_TRUE(RunToEnd([&](DeviceJobs::Done done) { jobs.Read(done, std::nullopt); }).Ok());
  ASSERT_EQ(BackupHistory().Files(), before);
  const JobResult read = RunToEnd([&](DeviceJobs::Done done) { jobs.Read(done); });
  ASSERT_TRUE(read.Ok());
  const QString newest = BackupHistory().Newest();
  ASSERT_FALSE(newest.isEmpty());
  EXPECT_EQ(read.BackupPath, newest);
  EXPECT_TRUE(newest.startsWith(qEnvironmentVariable("XDG_DATA_HOME") + "/ovrelware/backups/"));
  EXPECT_EQ(ReadFile(newest), library);
}

}  // namespace
}  // namespace ovrel::test
