// The backup history of device memory images, and how the device link
// hands it every image it reads.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "LinkTestSupport.h"
#include "storage/BackupHistory.h"
#include "device/link/DeviceLink.h"
#include "device/serial/SerialPort.h"
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
  const auto kept = history.Keep(ImageOf(one), kNoon);
  ASSERT_TRUE(kept.Error.isEmpty()) << kept.Error.toStdString();
  EXPECT_EQ(QFileInfo(kept.Path).fileName(), "2026-03-01T12-00-00Z-000001.svl");
  // A library file like any other: the used bytes, not 2048.
  EXPECT_EQ(ReadFile(kept.Path), one);

  // Read again unchanged: not kept twice.
  EXPECT_EQ(history.Keep(ImageOf(one), kNoon.addSecs(60)).Path, kept.Path);
  EXPECT_EQ(Names().size(), 1);

  // Changed, then back to the first image: both are kept, newest last.
  history.Keep(ImageOf(LibraryWithSegments(3)), kNoon.addSecs(120));
  history.Keep(ImageOf(one), kNoon.addSecs(180));
  EXPECT_EQ(Names(), (QStringList{"2026-03-01T12-00-00Z-000001.svl",
                                  "2026-03-01T12-02-00Z-000002.svl",
                                  "2026-03-01T12-03-00Z-000003.svl"}));
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
    const auto k = history.Keep(ImageOf(kept.back()), i < 11 ? kNoon : kNoon.addSecs(-3600));
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
  history.Keep(ImageOf(LibraryWithSegments(1)), kNoon);
  WriteFile(Dir.filePath("victim"), LibraryWithSegments(4));
  ASSERT_TRUE(QFile::link(Dir.filePath("victim"), Folder() + "/2026-03-01T12-00-00Z-000002.svl"));
  const auto kept = history.Keep(ImageOf(LibraryWithSegments(2)), kNoon);
  ASSERT_TRUE(kept.Error.isEmpty()) << kept.Error.toStdString();
  EXPECT_EQ(QFileInfo(kept.Path).fileName(), "2026-03-01T12-00-00Z-000003.svl");
  EXPECT_EQ(ReadFile(kept.Path), LibraryWithSegments(2));
  EXPECT_EQ(ReadFile(Dir.filePath("victim")), LibraryWithSegments(4));
}

TEST_F(BackupHistoryTest, AMemoryWithoutAValidLibraryIsKeptWhole) {
  BackupHistory history(Folder());
  Image blank{};
  blank.fill(0xFF);
  EXPECT_EQ(ReadFile(history.Keep(blank, kNoon).Path), Bytes(SesMemSize, 0xFF));
  // A library whose checksum is wrong is no valid library either.
  Bytes broken = LibraryWithSegments(1);
  broken.back() ^= 0x01;
  EXPECT_EQ(ReadFile(history.Keep(ImageOf(broken), kNoon.addSecs(1)).Path).size(),
            std::size_t{SesMemSize});
}

TEST_F(BackupHistoryTest, OnlyTheNewestFiftyAreKeptAndOtherFilesAreLeftAlone) {
  QDir().mkpath(Folder());
  WriteFile(Folder() + "/mine.svl", LibraryWithSegments(1));
  BackupHistory history(Folder());
  for (int i = 0; i < kBackupsKept + 5; ++i)
    history.Keep(ImageOf(LibraryWithSegments(1 + i % 2)), kNoon.addSecs(i));
  QStringList names = Names();
  ASSERT_EQ(names.size(), kBackupsKept);
  EXPECT_EQ(names.front(), "2026-03-01T12-00-05Z-000006.svl");
  EXPECT_EQ(names.back(), "2026-03-01T12-00-54Z-000055.svl");
  EXPECT_TRUE(QFile::exists(Folder() + "/mine.svl"));

  // Pruned by the order of reading: a read made with the clock a year
  // behind is kept, and the oldest read goes.
  const auto kept = history.Keep(ImageOf(LibraryWithSegments(3)), kNoon.addYears(-1));
  names = Names();
  ASSERT_EQ(names.size(), kBackupsKept);
  EXPECT_EQ(names.back(), QFileInfo(kept.Path).fileName());
  EXPECT_EQ(names.front(), "2026-03-01T12-00-06Z-000007.svl");
}

TEST_F(BackupHistoryTest, AFolderThatCannotBeMadeIsReported) {
  WriteFile(Dir.filePath("file"), Bytes{1});
  BackupHistory history(Dir.filePath("file/backups"));
  const auto kept = history.Keep(ImageOf(LibraryWithSegments(1)), kNoon);
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
  const OperationResult refused = RunToEnd(
      [&](DeviceLink::Done done) { blocked.Add(dir.filePath("ses.svs"), WriteOptions{}, done); });
  EXPECT_EQ(refused.Kind, FailureKind::NotKept);
  EXPECT_EQ(refused.Message.Id, LinkText::BackupFailed);
  EXPECT_FALSE(refused.Message.Detail.isEmpty());
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O");
  EXPECT_EQ(sim.memory(), Padded(before));

  DeviceJobs jobs(link, dir.filePath("history"));
  const OperationResult added = RunToEnd(
      [&](DeviceLink::Done done) { jobs.Add(dir.filePath("ses.svs"), WriteOptions{}, done); });
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
  ASSERT_TRUE(RunToEnd([&](DeviceLink::Done done) { jobs.Read(done, std::nullopt); }).Ok());
  ASSERT_EQ(BackupHistory().Files(), before);
  const OperationResult read = RunToEnd([&](DeviceLink::Done done) { jobs.Read(done); });
  ASSERT_TRUE(read.Ok());
  const QString newest = BackupHistory().Newest();
  ASSERT_FALSE(newest.isEmpty());
  EXPECT_EQ(read.BackupPath, newest);
  EXPECT_TRUE(newest.startsWith(qEnvironmentVariable("XDG_DATA_HOME") + "/ovrelware/backups/"));
  EXPECT_EQ(ReadFile(newest), library);
}

}  // namespace
}  // namespace ovrel::test
