// ovrel list, extract and remove, run as processes against the emulator.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/cli/CliTestSupport.h"
#include "tests/device/LinkTestSupport.h"
#include "library/LibraryEdit.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

// Three sessions: 2:00 of two segments, 7:30 of three with a second pitch
// slot of its own, 0:15 of one.
const std::vector<SessionRecord> kThree = {
    {2, 0, {{36, 10, 10, 100, 100}, {36, 10, 10, 100, 100}}},
    {7, 30, {{72, 12, 20, 44, 44}, {87, 140, 148, 44, 200}, {150, 5, 5, 48, 48}}},
    {0, 15, {{33, 48, 1, 200, 200}}},
};

Bytes Image(const std::vector<SessionRecord>& sessions) {
  return BuildLibraryImage(sessions).value_or(Bytes{});
}

class CliMemoryTest : public CliDeviceTest {};

TEST_F(CliMemoryTest, ListsMatchesAndExtractsTheSessionsOfTheDevice) {
  DevSim sim({}, Padded(Image(kThree)));
  const QString port = QString::fromStdString(sim.path());
  // The first session's file, and one that differs from it in its last byte.
  ASSERT_TRUE(QDir(Dir.path()).mkdir("sessions"));
  WriteFile(Path("sessions/warm-up.svs"),
            QByteArray("version=23\r\n2,0,\r\n36,10,10,100,100,\r\n36,10,10,100,100,\r\n0,\r\n"));
  WriteFile(Path("sessions/near.svs"),
            QByteArray("version=23\r\n7,30,\r\n72,12,20,44,44,\r\n87,140,148,44,200,\r\n"
                       "150,5,5,48,49,\r\n0,\r\n"));

  const Outcome listed = Run({"list", "--port", port, "--sessions", Path("sessions")});
  ASSERT_EQ(listed.Status, 0) << listed.Err.toStdString();
  const QStringList lines = listed.Out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4) << listed.Out.toStdString();
  EXPECT_EQ(lines[0].simplified(), "1 2:00 2 segments " + Path("sessions/warm-up.svs"));
  EXPECT_EQ(lines[1].simplified(), "2 7:30 3 segments -");
  EXPECT_EQ(lines[2].simplified(), "3 0:15 1 segment -");
  EXPECT_EQ(lines[3].toStdString(), "Free memory: 1998 bytes, Available memory: 98%");

  const Outcome json = Run({"--json", "list", "--port", port, "--sessions", Path("sessions")});
  ASSERT_EQ(json.Status, 0) << json.Err.toStdString();
  QList<QJsonObject> sessions;
  for (const QString& line : json.Out.split('\n', Qt::SkipEmptyParts)) {
    const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
    if (event["event"] == "session") sessions << event;
  }
  ASSERT_EQ(sessions.size(), 3);
  EXPECT_EQ(sessions[1]["index"].toInt(), 2);
  EXPECT_EQ(sessions[1]["minutes"].toInt(), 7);
  EXPECT_EQ(sessions[1]["seconds"].toInt(), 30);
  EXPECT_EQ(sessions[1]["segments"].toInt(), 3);
  EXPECT_EQ(sessions[1]["bytes"].toInt(), 20);
  EXPECT_TRUE(sessions[1]["file"].isNull());
  EXPECT_EQ(sessions[0]["file"].toString(), Path("sessions/warm-up.svs"));

  // Session 2, extracted and compiled alone, is the same record.
  const Outcome extracted = Run({"extract", "2", "--port", port, "-o", "two.svs"});
  ASSERT_EQ(extracted.Status, 0) << extracted.Err.toStdString();
  const Outcome compiled = Run({"compile", "-o", "two.svl", "two.svs"});
  ASSERT_EQ(compiled.Status, 0) << compiled.Err.toStdString();
  EXPECT_EQ(ReadFile(Path("two.svl")), Image({kThree[1]}));

  const Outcome beyond = Run({"extract", "4", "--port", port, "-o", "four.svs"});
  EXPECT_EQ(beyond.Status, 1);
  EXPECT_TRUE(beyond.Err.contains("There is no session 4: the library holds 3 sessions."));
  EXPECT_FALSE(QFile::exists(Path("four.svs")));
}

TEST_F(CliMemoryTest, RemoveUploadsTheCompilersImageOfTheRestAndKeepsTheOld) {
  const Bytes old = Image(kThree);
  DevSim sim({"--no-reply", "D:8"}, Padded(old));
  const QString port = QString::fromStdString(sim.path());

  // A number out of range is refused before anything is read or written.
  const Outcome refused = Run({"remove", "2", "4", "--port", port});
  EXPECT_EQ(refused.Status, 1);
  EXPECT_TRUE(refused.Err.contains("There is no session 4")) << refused.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(old));

  // A write that fails half-way leaves the old memory in the backups, and
  // restore puts it back.
  const Outcome broken = Run({"remove", "2", "--port", port});
  EXPECT_EQ(broken.Status, 4) << broken.Err.toStdString();
  const Outcome restored = Run({"restore", "--port", port});
  ASSERT_EQ(restored.Status, 0) << restored.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(old));
  // The remove kept the old memory before it wrote; the restore kept the
  // broken one before it wrote the old one back.
  const QStringList backups = QDir(BackupFolder()).entryList({"*.svl"}, QDir::Files);
  ASSERT_EQ(backups.size(), 2);
  EXPECT_EQ(ReadFile(BackupFolder() + "/" + backups.first()), old);
  // The broken memory the restore replaced is kept as a plain read: a
  // second restore still brings back the memory from before the remove.
  ASSERT_EQ(Run({"restore", "--port", port}).Status, 0);
  EXPECT_EQ(sim.memory(), Padded(old));

  const Outcome removed = Run({"remove", "3", "1", "--port", port, "--verify"});
  ASSERT_EQ(removed.Status, 0) << removed.Err.toStdString();
  EXPECT_TRUE(removed.Err.contains("Verified")) << removed.Err.toStdString();
  EXPECT_EQ(sim.memory(), Padded(Image({kThree[1]})));

  // The same on a file, which stays as it was.
  WriteFile(Path("three.svl"), old);
  const Outcome onFile = Run({"remove", "2", "three.svl", "-o", "rest.svl"});
  ASSERT_EQ(onFile.Status, 0) << onFile.Err.toStdString();
  EXPECT_EQ(ReadFile(Path("rest.svl")), Image({kThree[0], kThree[2]}));
  EXPECT_EQ(ReadFile(Path("three.svl")), old);

  // A memory that holds no library is refused.
  Bytes garbage = Padded(old);
  garbage[0] = 0x42;
  DevSim wrong({}, garbage);
  const Outcome invalid = Run({"remove", "1", "--port", QString::fromStdString(wrong.path())});
  EXPECT_EQ(invalid.Status, 1);
  EXPECT_TRUE(invalid.Err.contains("holds no valid session library")) << invalid.Err.toStdString();
  EXPECT_EQ(wrong.memory(), garbage);
}

// Arguments that can name no session, and files that are no regular files,
// are refused for what they are before anything reaches the device: no
// read, no backup.
TEST_F(CliMemoryTest, BadNumbersAndFilesAreRefusedBeforeTheDevice) {
  DevSim sim({"--log"}, Padded(Image(kThree)));
  const QString port = QString::fromStdString(sim.path());
  const struct {
    QStringList Args;
    const char* Says;
  } refused[] = {
      {{"remove", "abc", "--port", port}, "\"abc\" is not a session number."},
      {{"extract", "abc", "--port", port, "-o", "x.svs"}, "\"abc\" is not a session number."},
      {{"extract", "abc"}, "\"abc\" is not a session number."},
      {{"remove", "0", "--port", port}, "there is no session 0"},
  };
  for (const auto& r : refused) {
    const Outcome run = Run(r.Args);
    EXPECT_EQ(run.Status, 2) << r.Args.join(' ').toStdString();
    EXPECT_TRUE(run.Err.contains(r.Says)) << run.Err.toStdString();
  }

  ASSERT_EQ(::mkfifo(Path("pipe.svl").toLocal8Bit().constData(), 0600), 0);
  ASSERT_TRUE(QDir(Dir.path()).mkdir("folder.svs"));
  const QList<QStringList> notRegular = {{"upload", "--port", port, "pipe.svl"},
                                         {"upload", "--port", port, "/dev/zero"},
                                         {"add", "--port", port, "folder.svs"},
                                         {"add", "--no-backup", "--port", port, "/dev/zero"}};
  for (const QStringList& args : notRegular) {
    const Outcome run = Run(args);
    EXPECT_EQ(run.Status, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(run.Err.contains("is not a regular file.")) << run.Err.toStdString();
    EXPECT_FALSE(run.Err.contains("not found")) << run.Err.toStdString();
  }
  EXPECT_EQ(LoggedCommands(sim.log()), "");
  EXPECT_FALSE(QDir(BackupFolder()).exists());
}

// A library of more than 30 sessions (adds make them) loses the sessions
// asked for, and the user learns that it still holds more than the library
// compiler takes.
TEST_F(CliMemoryTest, RemoveSaysWhenMoreThanThirtySessionsAreLeft) {
  WriteFile(Path("forty.svl"), Image(std::vector<SessionRecord>(40, kThree[2])));
  const Outcome one = Run({"remove", "1", "forty.svl", "-o", "out.svl"});
  ASSERT_EQ(one.Status, 0) << one.Err.toStdString();
  EXPECT_TRUE(one.Err.contains("still holds 39 sessions, more than the 30")) << one.Err.toStdString();
  EXPECT_EQ(ReadFile(Path("out.svl")), Image(std::vector<SessionRecord>(39, kThree[2])));

  QStringList ten{"remove"};
  for (int n = 31; n <= 40; ++n) ten << QString::number(n);
  const Outcome enough = Run(ten + QStringList{"forty.svl", "-o", "out.svl"});
  ASSERT_EQ(enough.Status, 0) << enough.Err.toStdString();
  EXPECT_FALSE(enough.Err.contains("more than the 30")) << enough.Err.toStdString();
  EXPECT_EQ(ReadFile(Path("out.svl")), Image(std::vector<SessionRecord>(30, kThree[2])));
}

}  // namespace
}  // namespace ovrel::test
