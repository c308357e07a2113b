// ovrel's safe writes against the emulator: the backup history, backup and
// restore, verification, the JSON event stream and the exit statuses.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "tests/cli/CliTestSupport.h"
#include "tests/device/LinkTestSupport.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

class CliSafeWriteTest : public CliDeviceTest {
 protected:
  QStringList Backups() const {
    return QDir(BackupFolder()).entryList({QStringLiteral("*.svl")}, QDir::Files, QDir::Name);
  }
  Bytes Backup(const QString& name) const { return ReadFile(BackupFolder() + "/" + name); }
};

// Every line of out as a JSON object; a line that is not one fails the test.
std::vector<QJsonObject> Events(const QString& out) {
  std::vector<QJsonObject> events;
  for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    EXPECT_TRUE(doc.isObject()) << "not a JSON object: " << line.toStdString();
    events.push_back(doc.object());
  }
  return events;
}

TEST_F(CliSafeWriteTest, EachAddKeepsTheMemoryItFound) {
  const Bytes before = LibraryWithSegments(3);
  DevSim sim({}, Padded(before));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("ses.svs"), kOneSegmentSession);

  ASSERT_EQ(Run({"add", "--port", port, "ses.svs"}).Status, 0);
  QStringList names = Backups();
  ASSERT_EQ(names.size(), 1);
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d-\d\d-\d\dZ-\d{6}-add\.svl$)")
                  .match(names[0])
                  .hasMatch())
      << names[0].toStdString();
  EXPECT_EQ(Backup(names[0]), before);
  const Bytes afterFirst = ReadFile(Path("program/TempSesLib.svl"));

  ASSERT_EQ(Run({"add", "--port", port, "ses.svs"}).Status, 0);
  names = Backups();
  ASSERT_EQ(names.size(), 2);
  EXPECT_EQ(Backup(names[1]), afterFirst);
  // A backup is a library file that "ovrel info" accepts.
  EXPECT_EQ(Run({"info", BackupFolder() + "/" + names[1]}).Status, 0);

  // Reading an unchanged memory twice keeps it once.
  ASSERT_EQ(Run({"backup", "--port", port, "-o", "b1.svl"}).Status, 0);
  ASSERT_EQ(Run({"backup", "--port", port, "-o", "b2.svl"}).Status, 0);
  EXPECT_EQ(Backups().size(), 3);
  EXPECT_EQ(ReadFile(Path("b1.svl")), ReadFile(Path("program/TempSesLib.svl")));
  EXPECT_EQ(ReadFile(Path("b2.svl")), ReadFile(Path("b1.svl")));
}

TEST_F(CliSafeWriteTest, UploadWithBackupThenRestoreGivesTheOldMemoryBack) {
  const Bytes old = LibraryWithSegments(5);
  DevSim sim({"--log"}, Padded(old));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("new.svl"), LibraryWithSegments(2));

  Outcome up = Run({"upload", "--backup", "--port", port, "new.svl"});
  ASSERT_EQ(up.Status, 0) << up.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(2)));

  Outcome restored = Run({"restore", "--port", port});
  ASSERT_EQ(restored.Status, 0) << restored.Err.toStdString();
  // What the backup holds is printed before it is uploaded.
  EXPECT_TRUE(restored.Out.contains(QStringLiteral("library, %1 bytes").arg(old.size())));
  EXPECT_TRUE(restored.Out.contains("Sessions: 1"));
  EXPECT_EQ(sim.memory(), Padded(old));
  // The restore, a write like any other, keeps what it replaces first.
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O" + UploadCommands() + "I" +
                                           Repeat('r', 16) + "O" + UploadCommands());
}

// Every upload keeps what it replaces, also one of a library padded with
// zeros to the memory's size, as "download --raw" writes it.
TEST_F(CliSafeWriteTest, AnUploadOfAPaddedLibraryKeepsWhatItReplaces) {
  const Bytes old = LibraryWithSegments(5);
  DevSim sim({"--log"}, Padded(old));
  WriteFile(Path("raw.svl"), Padded(LibraryWithSegments(2)));
  const Outcome up = Run({"upload", "--port", QString::fromStdString(sim.path()), "raw.svl"});
  ASSERT_EQ(up.Status, 0) << up.Err.toStdString();
  ASSERT_EQ(Backups().size(), 1);
  EXPECT_EQ(Backup(Backups()[0]), old);
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O" + UploadCommands());
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(2)));
}

// A script that edits what it read writes only while the device still holds
// the library it started from.
TEST_F(CliSafeWriteTest, UploadWithExpectWritesOnlyOverTheLibraryItStartedFrom) {
  const Bytes base = LibraryWithSegments(3);
  DevSim sim({"--log"}, Padded(base));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("base.svl"), base);
  WriteFile(Path("edited.svl"), LibraryWithSegments(2));
  WriteFile(Path("other.svl"), LibraryWithSegments(4));
  // Another program wrote in the meantime.
  ASSERT_EQ(Run({"upload", "--port", port, "other.svl"}).Status, 0);

  const Outcome stale = Run({"upload", "--port", port, "--expect", "base.svl", "edited.svl"});
  EXPECT_EQ(stale.Status, 4);
  EXPECT_TRUE(stale.Err.contains("changed since it was read")) << stale.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(4)));
  // What the refused write read is kept as a plain read: the memory before
  // the last write is still the one the other program replaced.
  ASSERT_EQ(Run({"restore", "--port", port}).Status, 0);
  EXPECT_EQ(sim.memory(), Padded(base));
  ASSERT_EQ(Run({"upload", "--port", port, "other.svl"}).Status, 0);

  // Also with --no-backup, the device is read to compare; a raw download of
  // what it holds names the same library.
  WriteFile(Path("now.svl"), Padded(LibraryWithSegments(4)));
  const Outcome fresh =
      Run({"upload", "--port", port, "--no-backup", "--expect", "now.svl", "edited.svl"});
  ASSERT_EQ(fresh.Status, 0) << fresh.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(2)));
  EXPECT_EQ(Run({"upload", "--port", port, "--expect", "nothing.svl", "edited.svl"}).Status, 1);
}

TEST_F(CliSafeWriteTest, NothingIsWrittenWhenTheBackupReadFails) {
  const Bytes old = LibraryWithSegments(5);
  DevSim sim({"--log", "--no-reply", "r:3"}, Padded(old));
  WriteFile(Path("new.svl"), LibraryWithSegments(2));
  Outcome up = Run({"upload", "--backup", "--port", QString::fromStdString(sim.path()), "new.svl"});
  EXPECT_EQ(up.Status, 4);
  EXPECT_EQ(LoggedCommands(sim.log()), "Irrr");
  EXPECT_EQ(sim.memory(), Padded(old));
  EXPECT_TRUE(Backups().isEmpty());
}

TEST_F(CliSafeWriteTest, VerifyCatchesAByteStoredWrongly) {
  // The device inverts the byte at 1500, beyond the library, where its
  // checksum does not look.
  DevSim sim({"--flip-byte", "1500"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("lib.svl"), LibraryWithSegments(2));
  WriteFile(Path("ses.svs"), kOneSegmentSession);

  Outcome up = Run({"upload", "--verify", "--port", port, "lib.svl"});
  EXPECT_EQ(up.Status, 4);
  EXPECT_TRUE(up.Err.contains("Sorvani session library uploaded successfully"));
  EXPECT_TRUE(up.Err.contains("Verification failed: address 1500 holds 0xff, 0x00 was written"))
      << up.Err.toStdString();
  // Without --verify the same upload passes the checksum test.
  EXPECT_EQ(Run({"upload", "--port", port, "lib.svl"}).Status, 0);

  Outcome add = Run({"add", "--verify", "--port", port, "ses.svs"});
  EXPECT_EQ(add.Status, 4);
  EXPECT_TRUE(add.Err.contains("address 1500")) << add.Err.toStdString();
}

TEST_F(CliSafeWriteTest, VerifyOfASoundDeviceKeepsNoBackupOfTheReadBack) {
  DevSim sim({"--log"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("lib.svl"), LibraryWithSegments(2));
  Outcome up = Run({"upload", "--no-backup", "--verify", "--port", port, "lib.svl"});
  EXPECT_EQ(up.Status, 0) << up.Err.toStdString();
  EXPECT_TRUE(up.Err.contains("Verified"));
  EXPECT_EQ(LoggedCommands(sim.log()), UploadCommands() + "I" + Repeat('r', 16) + "O");
  EXPECT_TRUE(Backups().isEmpty());
}

TEST_F(CliSafeWriteTest, JsonEventsParseAndCarryTheSteps) {
  DevSim sim({}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("lib.svl"), LibraryWithSegments(2));

  Outcome up = Run({"--json", "upload", "--no-backup", "--port", port, "lib.svl"});
  ASSERT_EQ(up.Status, 0);
  const std::vector<QJsonObject> events = Events(up.Out);
  std::string letters;
  std::vector<int> blocks;
  for (const QJsonObject& e : events) {
    if (e["event"] != "step") continue;
    EXPECT_EQ(e["count"].toInt(), 22);
    letters += e["command"].toString().toStdString();
    if (e.contains("block")) blocks.push_back(e["block"].toInt());
  }
  EXPECT_EQ(letters, UploadCommands());
  EXPECT_EQ(blocks, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["event"], "result");
  EXPECT_EQ(events.back()["status"], 0);
  EXPECT_EQ(events.back()["message"], "Sorvani session library uploaded successfully");

  // The data of info and ports; a failure's message and status.
  Outcome info = Run({"--json", "info", "lib.svl"});
  const std::vector<QJsonObject> infoEvents = Events(info.Out);
  ASSERT_FALSE(infoEvents.empty());
  EXPECT_EQ(infoEvents.front()["event"], "info");
  EXPECT_EQ(infoEvents.front()["kind"], "library");
  EXPECT_EQ(infoEvents.front()["sessions"].toArray().size(), 1);
  EXPECT_EQ(infoEvents.front()["sessions"].toArray()[0].toObject()["segments"], 2);

  const std::vector<QJsonObject> portEvents = Events(Run({"ports", "--json"}, port).Out);
  ASSERT_EQ(portEvents.size(), 2u);
  EXPECT_EQ(portEvents[0]["ports"].toArray(), QJsonArray{port});

  Outcome missing = Run({"--json", "upload", "--port", port, "none.svl"});
  const std::vector<QJsonObject> failed = Events(missing.Out);
  ASSERT_FALSE(failed.empty());
  EXPECT_EQ(failed.back()["status"], 1);
  EXPECT_TRUE(failed.back()["message"].toString().contains("not found"));
  EXPECT_EQ(Events(Run({"--json", "upload"}).Out).back()["status"], 2);
}

// ovrel with its data folder on a 64 KB file system that is full: a wrapper
// for Run that mounts it in a mount namespace of its own and lists, on
// standard error, the files left on it afterwards.
QStringList OnAFullDisk(const QString& folder) {
  return {QStringLiteral("unshare"), QStringLiteral("-m"), QStringLiteral("sh"),
          QStringLiteral("-c"),
          QStringLiteral("mount -t tmpfs -o size=64k none '%1' || exit 99; "
                         "cat /dev/zero > '%1/fill' 2>/dev/null; "
                         "\"$0\" \"$@\"; s=$?; find '%1' -type f >&2; exit $s")
              .arg(folder)};
}

TEST_F(CliSafeWriteTest, AFullDiskFailsWithItsReasonAndAnUnkeptBackupStopsTheWrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system that is full needs root";
  const Bytes old = LibraryWithSegments(5);
  DevSim sim({"--log"}, Padded(old));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("new.svl"), LibraryWithSegments(2));
  WriteFile(Path("ses.svs"), kOneSegmentSession);
  ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("data")));
  const QStringList full = OnAFullDisk(Path("data"));
  const QString onlyTheFill = Path("data") + "/fill\n";
  const std::string read = "I" + Repeat('r', 16) + "O";

  // The memory cannot be kept: neither the upload nor the add writes.
  Outcome up = Run({"upload", "--port", port, "new.svl"}, {}, full);
  ASSERT_NE(up.Status, 99) << "no file system could be mounted: " << up.Err.toStdString();
  EXPECT_EQ(up.Status, 1);
  EXPECT_TRUE(up.Err.contains("No space left on device")) << up.Err.toStdString();
  EXPECT_TRUE(up.Err.endsWith(onlyTheFill)) << up.Err.toStdString();
  Outcome add = Run({"add", "--port", port, "ses.svs"}, {}, full);
  EXPECT_EQ(add.Status, 1);
  EXPECT_TRUE(add.Err.contains("No space left on device")) << add.Err.toStdString();
  EXPECT_EQ(LoggedCommands(sim.log()), read + "I" + Repeat('r', 16) + "O");
  EXPECT_EQ(sim.memory(), Padded(old));

  // A file written there fails with the reason and leaves nothing behind.
  Outcome down = Run({"download", "--port", port, "-o", "data/got.svl"}, {}, full);
  EXPECT_EQ(down.Status, 1);
  EXPECT_TRUE(down.Err.contains("Cannot write data/got.svl: No space left on device"))
      << down.Err.toStdString();
  EXPECT_TRUE(down.Err.endsWith(onlyTheFill)) << down.Err.toStdString();

  // Told not to keep it, the upload writes.
  EXPECT_EQ(Run({"upload", "--no-backup", "--port", port, "new.svl"}, {}, full).Status, 0);
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(2)));
}

TEST_F(CliSafeWriteTest, PipesAreRefusedAsOutputAndAsInputAtOnce) {
  const Bytes old = LibraryWithSegments(3);
  DevSim sim({"--log"}, Padded(old));
  const QString port = QString::fromStdString(sim.path());
  ASSERT_EQ(::mkfifo(Path("pipe.svl").toLocal8Bit().constData(), 0600), 0);
  ASSERT_EQ(::mkfifo(Path("pipe.png").toLocal8Bit().constData(), 0600), 0);
  WriteFile(Path("ses.svs"), kOneSegmentSession);

  Outcome down = Run({"download", "--port", port, "-o", "pipe.svl"});
  EXPECT_EQ(down.Status, 1);
  EXPECT_TRUE(down.Err.contains("Cannot write pipe.svl")) << down.Err.toStdString();
  Outcome plot = Run({"plot", "ses.svs", "-o", "pipe.png"});
  EXPECT_NE(plot.Status, 0);
  EXPECT_TRUE(plot.Err.contains("Cannot write pipe.png")) << plot.Err.toStdString();
  struct stat st {};
  for (const char* name : {"pipe.svl", "pipe.png"}) {
    ASSERT_EQ(::lstat(Path(name).toLocal8Bit().constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << name;
  }

  // Restoring a pipe or an endless device is refused before it is read.
  for (const QString& file : {Path("pipe.svl"), QStringLiteral("/dev/zero")}) {
    Outcome restored = Run({"restore", "--port", port, file});
    EXPECT_EQ(restored.Status, 1) << file.toStdString();
    EXPECT_TRUE(restored.Err.contains("not a regular file")) << restored.Err.toStdString();
  }
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O");
  EXPECT_EQ(sim.memory(), Padded(old));
}

TEST_F(CliSafeWriteTest, RestoreAfterAWipedReadPutsTheLastSoundLibraryBack) {
  const Bytes sound = LibraryWithSegments(4);
  {
    DevSim before({}, Padded(sound));
    ASSERT_EQ(Run({"backup", "--port", QString::fromStdString(before.path()), "-o", "a.svl"}).Status,
              0);
  }
  DevSim wiped({}, Bytes(SesMemSize, 0));
  const QString port = QString::fromStdString(wiped.path());
  ASSERT_EQ(Run({"backup", "--port", port, "-o", "z.svl"}).Status, 0);
  const QStringList names = Backups();
  ASSERT_EQ(names.size(), 2);

  Outcome listed = Run({"backups"});
  EXPECT_EQ(listed.Status, 0);
  const QStringList lines = listed.Out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << listed.Out.toStdString();
  EXPECT_TRUE(lines[0].contains(
      QRegularExpression(QStringLiteral(" 1 sessions +%1 bytes +sound ").arg(sound.size()))))
      << lines[0].toStdString();
  // A device that was never written is empty, not broken.
  EXPECT_TRUE(lines[1].contains(QRegularExpression(" - sessions +2048 bytes +empty ")))
      << lines[1].toStdString();
  const std::vector<QJsonObject> events = Events(Run({"--json", "backups"}).Out);
  ASSERT_FALSE(events.empty());
  const QJsonArray backups = events.front()["backups"].toArray();
  ASSERT_EQ(backups.size(), 2);
  EXPECT_TRUE(backups[0].toObject()["sound"].toBool());
  EXPECT_FALSE(backups[1].toObject()["sound"].toBool());
  EXPECT_EQ(backups[1].toObject()["state"].toString(), "empty");

  Outcome restored = Run({"restore", "--port", port});
  ASSERT_EQ(restored.Status, 0) << restored.Err.toStdString();
  EXPECT_TRUE(restored.Err.contains(BackupFolder() + "/" + names[0])) << restored.Err.toStdString();
  EXPECT_EQ(wiped.memory(), Padded(sound));
}

// A restore without a file brings back the memory as it was before the
// last write, and names it: not an older backup, nor a read made after the
// write (which may have caught a half-written memory), nor a link.
TEST_F(CliSafeWriteTest, RestoreBringsBackTheMemoryBeforeTheLastWrite) {
  DevSim sim({}, Padded(LibraryWithSegments(1)));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("second.svl"), LibraryWithSegments(2));
  WriteFile(Path("third.svl"), LibraryWithSegments(3));
  ASSERT_EQ(Run({"upload", "--port", port, "second.svl"}).Status, 0);
  ASSERT_EQ(Run({"upload", "--port", port, "third.svl"}).Status, 0);
  ASSERT_EQ(Run({"list", "--port", port}).Status, 0);
  const QStringList names = Backups();
  ASSERT_EQ(names.size(), 3);
  // A link put in the history is listed as one and never restored.
  ASSERT_TRUE(QFile::link(Path("third.svl"),
                          BackupFolder() + "/2026-03-01T12-00-00Z-000009-upload.svl"));

  const QStringList lines = Run({"backups"}).Out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[1].contains("before upload")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains("UTC  read ")) << lines[2].toStdString();
  EXPECT_TRUE(lines[3].contains(" link ")) << lines[3].toStdString();
  const Outcome linked =
      Run({"restore", "--port", port, BackupFolder() + "/2026-03-01T12-00-00Z-000009-upload.svl"});
  EXPECT_EQ(linked.Status, 1);
  EXPECT_TRUE(linked.Err.contains("a link is not restored")) << linked.Err.toStdString();

  Outcome restored = Run({"restore", "--port", port});
  ASSERT_EQ(restored.Status, 0) << restored.Err.toStdString();
  EXPECT_TRUE(restored.Err.contains("Restoring the memory as it was before the last write (kept "
                                    "before upload), " +
                                    BackupFolder() + "/" + names[1]))
      << restored.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(2)));
}

TEST_F(CliSafeWriteTest, ExitStatusTellsTheKindOfFailure) {
  WriteFile(Path("lib.svl"), LibraryWithSegments(1));
  // 3: no device answers, or its port cannot be opened.
  EXPECT_EQ(Run({"detect"}).Status, 3);
  EXPECT_EQ(Run({"upload", "lib.svl"}).Status, 3);
  EXPECT_EQ(Run({"upload", "--port", Path("no-such-port"), "lib.svl"}).Status, 3);

  // 4: a missing reply, a wrong letter, a wrong checksum.
  for (const std::vector<std::string>& fault : {std::vector<std::string>{"--no-reply", "D:3"},
                                                {"--wrong-letter", "C:1"},
                                                {"--bad-checksum"}}) {
    DevSim sim(fault);
    EXPECT_EQ(
        Run({"upload", "--no-backup", "--port", QString::fromStdString(sim.path()), "lib.svl"})
            .Status,
        4)
        << fault[0];
  }

  // 1: the files, not the device.
  DevSim sim;
  const QString port = QString::fromStdString(sim.path());
  EXPECT_EQ(Run({"upload", "--port", port, "none.svl"}).Status, 1);
  Outcome noBackup = Run({"restore", "--port", port});
  EXPECT_EQ(noBackup.Status, 1);
  EXPECT_TRUE(noBackup.Err.contains("No backup has been kept yet"));
  EXPECT_EQ(Run({"restore", "a.svl", "b.svl"}).Status, 2);
}

}  // namespace
}  // namespace ovrel::test
