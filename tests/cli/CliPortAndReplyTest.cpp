// ovrel against the emulator where the port is held by someone else or the
// line damages a reply: a busy port is refused alone and at once, a lock
// whose process runs is never taken over, and a damaged reply fails the
// job before anything is written.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>

#include "device/protocol/Frame.h"
#include "library/LibraryImage.h"
#include "support/DevSim.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/device/LinkTestSupport.h"

namespace ovrel::test {
namespace {

QByteArray LockText(qint64 pid) {
  return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

QString SystemLockOf(const DevSim& sim) {
  return QStringLiteral("/run/lock/LCK..pts_") +
         QFileInfo(QString::fromStdString(sim.path())).fileName();
}

class CliPortTest : public CliDeviceTest {
 protected:
  void TearDown() override {
    for (QProcess* holder : {&sleeper, &opener}) {
      holder->kill();
      holder->waitForFinished();
    }
  }
  // A process that holds the port open (as a terminal program does).
  qint64 OpenPort(const QString& port) {
    opener.start("sh", {"-c", "exec sleep 60 <" + port});
    EXPECT_TRUE(opener.waitForStarted());
    const QString fd0 = QStringLiteral("/proc/%1/fd/0").arg(opener.processId());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::symLinkTarget(fd0) == port; }, 5000));
    return opener.processId();
  }
  // A running process that serial programs never were: named in a lock
  // file, as one given the number of a holder that ended.
  qint64 Sleeper() {
    sleeper.start("sleep", {"60"});
    EXPECT_TRUE(sleeper.waitForStarted());
    return sleeper.processId();
  }

  QProcess sleeper;
  QProcess opener;
};

// Whoever holds the port, every device command is refused as busy at once,
// with its own exit status and the holder named, without first calling the
// device disconnected and without a word about an upload; nothing is sent.
TEST_F(CliPortTest, ABusyPortIsRefusedAloneWithItsOwnStatus) {
  WriteFile(Path("lib.svl"), LibraryWithSegments(2));
  WriteFile(Path("ses.svs"), kOneSegmentSession);
  DevSim sim({"--log"}, Padded(LibraryWithSegments(1)));
  const QString port = QString::fromStdString(sim.path());
  const QString lockFile = SystemLockOf(sim);

  const qint64 locker = Sleeper();
  {
    QFile lock(lockFile);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(LockText(locker));
  }
  for (const QStringList& command :
       {QStringList{"list", "--port", port}, QStringList{"upload", "--port", port, "lib.svl"},
        QStringList{"add", "--port", port, "ses.svs"},
        QStringList{"download", "--port", port, "-o", "d.svl"}}) {
    const Outcome refused = Run(command);
    const std::string what = command.join(' ').toStdString() + ": " + refused.Err.toStdString();
    EXPECT_EQ(refused.Status, 5) << what;
    EXPECT_FALSE(refused.Err.contains("disconnected or not turned on")) << what;
    EXPECT_FALSE(refused.Err.contains("Upload failed")) << what;
    EXPECT_TRUE(refused.Err.contains(
        QStringLiteral("The port is busy: it is in use by sleep (process %1)").arg(locker)))
        << what;
    // It has no port open: the lock file is named, for the user to remove.
    EXPECT_TRUE(refused.Err.contains(lockFile)) << what;
  }
  const QByteArray lockText = LockText(locker);
  EXPECT_EQ(ReadFile(lockFile), Bytes(lockText.begin(), lockText.end()));
  QFile::remove(lockFile);

  const qint64 holder = OpenPort(port);
  const Outcome held = Run({"list", "--port", port});
  EXPECT_EQ(held.Status, 5) << held.Err.toStdString();
  EXPECT_FALSE(held.Err.contains("disconnected or not turned on")) << held.Err.toStdString();
  EXPECT_TRUE(held.Err.contains(
      QStringLiteral("The port is busy: it is in use by sleep (process %1)").arg(holder)))
      << held.Err.toStdString();
  EXPECT_EQ(LoggedCommands(sim.log()), "");
  EXPECT_EQ(sim.memory(), Padded(LibraryWithSegments(1)));
  EXPECT_FALSE(QFile::exists(Path("d.svl")));
}

// As another user, whom the lock's process may not be signalled by: a lock
// in the system's folder naming a running process (pid 1, root's) keeps
// the port, whether that folder may be written or not; where it may not
// (a root-owned /run/lock of mode 0755), the user locks the port in the
// runtime folder of their own, and says so.
TEST_F(CliPortTest, AnotherUsersLockKeepsThePortAndAClosedLockFolderFallsBackToTheUsers) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run ovrel as another user";
  if (QProcess::execute("unshare", {"--mount", "true"}) != 0)
    GTEST_SKIP() << "no mount namespace can be made here";
  constexpr int kNobody = 65534;
  DevSim sim({}, Padded(LibraryWithSegments(1)));
  const QString port = QString::fromStdString(sim.path());
  const QString number = QFileInfo(port).fileName();
  ASSERT_EQ(::chmod(sim.path().c_str(), 0666), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(Dir.path()).constData(), 0755), 0);
  ASSERT_TRUE(QDir(Dir.path()).mkdir("data") && QDir(Dir.path()).mkdir("runtime"));
  ASSERT_EQ(::chmod(QFile::encodeName(Path("data")).constData(), 0777), 0);
  ASSERT_EQ(::chown(QFile::encodeName(Path("runtime")).constData(), kNobody, kNobody), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(Path("runtime")).constData(), 0700), 0);

  // A private /run/lock of the given mode, holding a lock of pid 1 or none;
  // ovrel runs as nobody.
  const auto asNobody = [&](const char* mode, bool lockedByInit) {
    const QString script =
        QStringLiteral(
            "mount -t tmpfs -o mode=%1 tmpfs /run/lock || exit 97; %2"
            "exec setpriv --reuid=%3 --regid=%3 --clear-groups env XDG_RUNTIME_DIR=%4 \"$@\"")
            .arg(QLatin1String(mode),
                 lockedByInit
                     ? QStringLiteral("printf '%10d\\n' 1 >/run/lock/LCK..pts_%1; ").arg(number)
                     : QString())
            .arg(kNobody)
            .arg(Path("runtime"));
    return QStringList{"unshare", "--mount", "sh", "-c", script, "sh"};
  };
  for (const char* mode : {"1777", "0755"}) {
    const Outcome refused = Run({"list", "--port", port}, {}, asNobody(mode, true));
    EXPECT_EQ(refused.Status, 5) << mode << ": " << refused.Err.toStdString();
    EXPECT_TRUE(refused.Err.contains("it is in use by")) << mode << refused.Err.toStdString();
  }

  const Outcome listed = Run({"list", "--port", port}, {}, asNobody("0755", false));
  EXPECT_EQ(listed.Status, 0) << listed.Err.toStdString();
  EXPECT_TRUE(listed.Out.contains("1 segment")) << listed.Out.toStdString();
  const Outcome ports = Run({"ports", "--long"}, port, asNobody("0755", false));
  EXPECT_EQ(ports.Out, port + "\t\t" + Path("runtime") + "/LCK..pts_" + number + "\n")
      << ports.Err.toStdString();
}

// A reply damaged on the line (a bit flipped with its checksum left as it
// was, or its start bytes changed) fails the job with the reason: an add
// writes nothing over a memory it read wrongly, a download writes no file,
// and no backup holds the damaged bytes as if they were the memory.
TEST_F(CliPortTest, ADamagedReplyFailsTheJobAndNothingIsWritten) {
  WriteFile(Path("ses.svs"), kOneSegmentSession);
  const Bytes memory = Padded(LibraryWithSegments(3));
  struct Case {
    std::vector<std::string> Fault;
    const char* Reason;
  };
  const Case cases[] = {
      {{"--flip-reply-bit", "r:3"}, "its checksum does not match its bytes"},
      {{"--bad-start", "r:16"}, "it does not begin with A T"},
  };
  for (const Case& c : cases) {
    for (const QStringList& command :
         {QStringList{"add", "--verify", "ses.svs"}, QStringList{"download", "-o", "read.svl"}}) {
      std::vector<std::string> args = c.Fault;
      args.push_back("--log");
      DevSim sim(args, memory);
      const Outcome failed =
          Run(command + QStringList{"--port", QString::fromStdString(sim.path())});
      const std::string what =
          c.Fault[0] + " " + command[0].toStdString() + ": " + failed.Err.toStdString();
      EXPECT_EQ(failed.Status, 4) << what;
      EXPECT_TRUE(failed.Err.contains("The reply of Sorvani to the r command arrived damaged: " +
                                      QString::fromLatin1(c.Reason)))
          << what;
      EXPECT_FALSE(failed.Err.contains("Verified")) << what;
      const std::string sent = LoggedCommands(sim.log());
      EXPECT_EQ(sent.find_first_of("CWD"), std::string::npos) << what << " sent " << sent;
      EXPECT_EQ(sim.memory(), memory) << what;
      EXPECT_FALSE(QFile::exists(Path("read.svl"))) << what;
      EXPECT_TRUE(QDir(BackupFolder()).entryList(QDir::Files).isEmpty()) << what;
    }
  }
}

// Two libraries of the same shape, which differ only in pairs of bytes
// within the same blocks: a write of one over the other cut off at any
// block leaves a memory that passes every check of a library.
struct SameShape {
  Bytes Original;
  Bytes Other;
};

SameShape LibrariesOfTheSameShape() {
  std::array<std::uint8_t, SesMemSize> image{0x17, 0x00, 0x00, 0x04, 0x13};
  for (int session = 0; session < 3; ++session) {
    SessionRecord record;
    record.Minutes = 10;
    for (int i = 0; i < 120; ++i)
      record.Segments.push_back({static_cast<std::uint8_t>(36 + i % 5), 10, 12, 100, 120});
    EXPECT_TRUE(AppendSession(image, record).Fits);
  }
  const int used = image[2] * 256 + image[3] + 1;
  SameShape pair{Bytes(image.begin(), image.begin() + used), {}};
  pair.Other = pair.Original;
  // In each of these blocks, the start frequency of two segments goes from
  // 10 to 11: the block's exclusive-or, and with it the checksum, stays.
  for (const int block : {1, 8, 9, 12, 13, 14}) {
    int changed = 0;
    for (int at = block * kBlockSize; changed < 2 && at + 4 < (block + 1) * kBlockSize; ++at) {
      if (at + 4 >= used) break;
      const Bytes pattern{10, 12, 100, 120};
      if (!std::equal(pattern.begin(), pattern.end(), pair.Original.begin() + at)) continue;
      pair.Other[static_cast<std::size_t>(at)] = 11;
      ++changed;
    }
    EXPECT_EQ(changed, 2) << "block " << block;
  }
  return pair;
}

// A write cut off after block 8 or 12 leaves a mixed memory that passes as
// a library. A retry keeps it "before upload" and is cut off again; then
// sixty reads are kept. "ovrel restore" still brings back the memory as it
// was before the first write: what was kept after a cut-off write is never
// taken for it, and its backup is never pruned.
TEST_F(CliPortTest, RestoreAfterCutOffWritesBringsBackTheOriginal) {
  const SameShape libraries = LibrariesOfTheSameShape();
  WriteFile(Path("other.svl"), libraries.Other);
  for (const int cut : {8, 12}) {
    QDir(BackupFolder()).removeRecursively();
    const std::string first = "D:" + std::to_string(cut + 1);
    const std::string again = "D:" + std::to_string(2 * (cut + 1));
    DevSim sim({"--no-reply", first, "--no-reply", again}, Padded(libraries.Original));
    const QString port = QString::fromStdString(sim.path());
    // What the device holds after the cut: blocks up to the cut written.
    Bytes torn = Padded(libraries.Original);
    const Bytes other = Padded(libraries.Other);
    std::copy_n(other.begin(), (cut + 1) * kBlockSize, torn.begin());
    ASSERT_TRUE(ReadLibraryImage(torn, LibImageLength::Memory).Valid()) << cut;
    ASSERT_NE(torn, Padded(libraries.Original));
    ASSERT_NE(torn, other);

    for (int attempt = 0; attempt < 2; ++attempt) {
      const Outcome cutOff = Run({"upload", "--port", port, "other.svl"});
      ASSERT_EQ(cutOff.Status, 4) << cut << ": " << cutOff.Err.toStdString();
    }
    QStringList kept = QDir(BackupFolder()).entryList({"*.svl"}, QDir::Files, QDir::Name);
    ASSERT_EQ(kept.size(), 2) << cut;
    const Bytes tornLibrary(torn.begin(),
                            torn.begin() + static_cast<long>(libraries.Original.size()));
    EXPECT_EQ(ReadFile(BackupFolder() + "/" + kept[1]), tornLibrary) << cut;
    EXPECT_TRUE(kept[1].endsWith("-upload.svl")) << kept[1].toStdString();

    // Sixty reads of other memories, then one of the device: the history
    // is pruned to its fifty.
    for (int read = 0; read < 60; ++read) {
      WriteFile(BackupFolder() + QStringLiteral("/2026-01-01T00-00-00Z-%1-read.svl")
                                     .arg(100 + read, 6, 10, QLatin1Char('0')),
                LibraryWithSegments(1 + read % 30));
    }
    ASSERT_EQ(Run({"backup", "--port", port, "-o", "now.svl"}).Status, 0) << cut;
    EXPECT_EQ(ReadFile(Path("now.svl")), tornLibrary) << cut;
    EXPECT_LE(QDir(BackupFolder()).entryList({"*.svl"}, QDir::Files).size(), 50) << cut;

    const Outcome restored = Run({"restore", "--port", port});
    ASSERT_EQ(restored.Status, 0) << cut << ": " << restored.Err.toStdString();
    EXPECT_TRUE(restored.Err.contains(BackupFolder() + "/" + kept[0]))
        << restored.Err.toStdString();
    EXPECT_EQ(sim.memory(), Padded(libraries.Original)) << cut;
  }
}

}  // namespace
}  // namespace ovrel::test
