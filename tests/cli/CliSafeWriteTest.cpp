// ovrel's safe writes against the emulator: the backup history, backup and
// restore, verification, the JSON event stream and the exit statuses.

#include <gtest/gtest.h>

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
  EXPECT_TRUE(
      QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d\.svl$)").match(names[0]).hasMatch())
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
  EXPECT_EQ(LoggedCommands(sim.log()),
            "I" + Repeat('r', 16) + "O" + UploadCommands() + UploadCommands());
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
  Outcome up = Run({"upload", "--verify", "--port", port, "lib.svl"});
  EXPECT_EQ(up.Status, 0) << up.Err.toStdString();
  EXPECT_TRUE(up.Err.contains("Verified"));
  EXPECT_EQ(LoggedCommands(sim.log()), UploadCommands() + "I" + Repeat('r', 16) + "O");
  EXPECT_TRUE(Backups().isEmpty());
}

TEST_F(CliSafeWriteTest, JsonEventsParseAndCarryTheSteps) {
  DevSim sim({}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  const QString port = QString::fromStdString(sim.path());
  WriteFile(Path("lib.svl"), LibraryWithSegments(2));

  Outcome up = Run({"--json", "upload", "--port", port, "lib.svl"});
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
    EXPECT_EQ(Run({"upload", "--port", QString::fromStdString(sim.path()), "lib.svl"}).Status, 4)
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
