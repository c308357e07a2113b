// The port lock: the system's lock file for the port, taken over when its
// holder has gone, and refused, saying why, whenever it cannot be taken.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <functional>

#include "TerminalTestSupport.h"
#include "device/serial/PortLock.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

QByteArray LockText(qint64 pid) {
  return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QString OwnName() {
  QFile comm(QStringLiteral("/proc/self/comm"));
  return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                        : QString();
}

// A pseudo-terminal of the test's own, and whatever a test put at its lock
// file's name removed again before the terminal goes.
class PortLockTest : public ::testing::Test {
 protected:
  // A lock left at the name (by a program killed on an earlier terminal of
  // the same number) is for no terminal that exists now.
  void SetUp() override {
    ASSERT_FALSE(pty.Path().empty());
    ASSERT_FALSE(File().isEmpty());
    TearDown();
  }
  void TearDown() override {
    const QFileInfo at(File());
    if (at.isDir() && !at.isSymLink()) QDir().rmdir(File());
    else QFile::remove(File());
  }
  QString Port() const { return QString::fromStdString(pty.Path()); }
  QString File() const { return PortLockFile(Port()); }

  PtyPair pty;
};

TEST_F(PortLockTest, TheLockIsTheSerialProgramsLockFileWithTheHoldersId) {
  const QString number = Port().section('/', -1);
  EXPECT_TRUE(File() == "/run/lock/LCK..pts_" + number || File() == "/var/lock/LCK..pts_" + number)
      << File().toStdString();
  PortLock lock;
  ASSERT_FALSE(lock.Acquire(Port()));
  EXPECT_EQ(ReadAll(File()), LockText(::getpid()));
  // Every user's programs read the holder from it; only its owner changes it.
  struct stat made {};
  ASSERT_EQ(::stat(QFile::encodeName(File()).constData(), &made), 0);
  EXPECT_EQ(made.st_mode & 07777, 0644u);
  EXPECT_EQ(PortLockHolder(Port()), QStringLiteral("%1 (process %2)").arg(OwnName()).arg(::getpid()));
  // Another lock of this program is refused as well.
  PortLock other;
  const std::optional<SerialError> busy = other.Acquire(Port());
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->SystemError, EWOULDBLOCK);
  lock.Release();
  EXPECT_FALSE(QFileInfo::exists(File()));
  EXPECT_FALSE(other.Acquire(Port()));
}

// A lock whose process has ended is taken over; what it held (here a
// longer number than the new holder's) leaves nothing in the new lock.
TEST_F(PortLockTest, AStaleLockIsTakenOverWhole) {
  QProcess ended;
  ended.start(QStringLiteral("true"), {});
  ASSERT_TRUE(ended.waitForStarted());
  const qint64 endedPid = ended.processId();
  ASSERT_TRUE(ended.waitForFinished());
  for (const QByteArray& old : {LockText(endedPid), QByteArray("123456789012\n"),
                                QByteArray("4194304999 someprogram someone\n")}) {
    QFile stale(File());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(old);
    stale.close();
    PortLock lock;
    const std::optional<SerialError> error = lock.Acquire(Port());
    ASSERT_FALSE(error) << error->Text().toStdString();
    EXPECT_EQ(ReadAll(File()), LockText(::getpid())) << old.toStdString();
    EXPECT_EQ(PortLockHolder(Port()),
              QStringLiteral("%1 (process %2)").arg(OwnName()).arg(::getpid()));
  }
}

// A lock whose process runs is never taken over: not when it is older than
// the terminal (dated back, or the clock was set back), not after the port's
// permissions changed, and not when its process belongs to another user
// (which this user may not signal: only an ended process gives a lock up).
TEST_F(PortLockTest, ALockOfARunningProcessIsNeverTakenOver) {
  QProcess holder;
  holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
  ASSERT_TRUE(holder.waitForStarted());
  QProcess ended;
  ended.start(QStringLiteral("true"), {});
  ASSERT_TRUE(ended.waitForStarted());
  const qint64 endedPid = ended.processId();
  ASSERT_TRUE(ended.waitForFinished());
  const auto anotherUsers = [](pid_t, int) {
    errno = EPERM;
    return -1;
  };
  struct Case {
    const char* What;
    qint64 Pid;
    std::function<void()> Then;
  };
  const Case cases[] = {
      {"a lock dated back an hour", holder.processId(),
       [&] {
         const struct timespec back[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
         ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(File()).constData(), back, 0), 0);
       }},
      {"the port's mode changed after the lock was made", holder.processId(),
       [&] { ASSERT_EQ(::chmod(pty.Path().c_str(), 0666), 0); }},
      {"another user's process", endedPid, [&] { SetProcessSignalForTests(anotherUsers); }},
  };
  for (const Case& c : cases) {
    QFile held(File());
    ASSERT_TRUE(held.open(QIODevice::WriteOnly));
    held.write(LockText(c.Pid));
    held.close();
    c.Then();
    PortLock lock;
    const std::optional<SerialError> error = lock.Acquire(Port());
    SetProcessSignalForTests(nullptr);
    ASSERT_TRUE(error) << c.What;
    EXPECT_EQ(error->SystemError, EWOULDBLOCK) << c.What << ": " << error->Text().toStdString();
    EXPECT_EQ(ReadAll(File()), LockText(c.Pid)) << c.What;
    EXPECT_FALSE(lock.Held()) << c.What;
  }
  holder.kill();
  holder.waitForFinished();
}

// The holder of a lock is named; one that can be seen not to have the port
// open (an unrelated program given the number of one that ended) is named
// with the lock file, which the user may remove. One with the port open is
// named alone.
TEST_F(PortLockTest, TheHolderIsNamedAndTheLockFileWhenItHasNoPortOpen) {
  for (const bool portOpen : {false, true}) {
    QProcess holder;
    holder.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  portOpen ? "exec sleep 60 <" + Port() : QStringLiteral("exec sleep 60")});
    ASSERT_TRUE(holder.waitForStarted());
    const QString fd0 = QStringLiteral("/proc/%1/fd/0").arg(holder.processId());
    const QString comm = QStringLiteral("/proc/%1/comm").arg(holder.processId());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          QFile name(comm);
          return name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "sleep" &&
                 (QFile::symLinkTarget(fd0) == Port()) == portOpen;
        },
        5000));
    QFile held(File());
    ASSERT_TRUE(held.open(QIODevice::WriteOnly));
    held.write(LockText(holder.processId()));
    held.close();
    const QString named = PortLockHolder(Port());
    EXPECT_TRUE(named.startsWith(QStringLiteral("sleep (process %1)").arg(holder.processId())))
        << named.toStdString();
    EXPECT_EQ(named.contains(File()), !portOpen) << named.toStdString();
    EXPECT_EQ(named.contains("does not have the port open"), !portOpen) << named.toStdString();
    holder.kill();
    holder.waitForFinished();
    QFile::remove(File());
  }
}

// A lock removed while it is held (its terminal went, and the emulator of a
// new one of the same number cleared the name) is not taken for held.
TEST_F(PortLockTest, ALockRemovedWhileHeldIsNoLongerHeld) {
  PortLock lock;
  ASSERT_FALSE(lock.Acquire(Port()));
  ASSERT_TRUE(QFile::remove(File()));
  PortLock other;
  ASSERT_FALSE(other.Acquire(Port()));
  const std::optional<SerialError> lost = lock.Acquire(Port());
  ASSERT_TRUE(lost);
  EXPECT_TRUE(lost->Text().contains("was removed or replaced")) << lost->Text().toStdString();
  EXPECT_FALSE(lock.Held());
  EXPECT_EQ(ReadAll(File()), LockText(::getpid()));
  EXPECT_TRUE(other.Held());
}

// A lock that is held by a running program, even one of another user, or
// that cannot be read or trusted, keeps the port: nothing at its name is
// changed, and the reason is given.
TEST_F(PortLockTest, ALockThatCannotBeTakenRefusesThePort) {
  QProcess holder;
  holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
  ASSERT_TRUE(holder.waitForStarted());
  QFile held(File());
  ASSERT_TRUE(held.open(QIODevice::WriteOnly));
  held.write(LockText(holder.processId()));
  held.close();
  // Another user's lock file.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(QFile::encodeName(File()).constData(), 65534, 65534), 0);
  }
  PortLock lock;
  std::optional<SerialError> error = lock.Acquire(Port());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->SystemError, EWOULDBLOCK);
  EXPECT_TRUE(PortLockHolder(Port()).startsWith(
      QStringLiteral("sleep (process %1)").arg(holder.processId())));
  EXPECT_EQ(ReadAll(File()), LockText(holder.processId()));
  holder.kill();
  holder.waitForFinished();
  QFile::remove(File());

  const QTemporaryDir dir;
  const QString victim = dir.filePath(QStringLiteral("victim"));
  QFile(victim).open(QIODevice::WriteOnly);
  const auto refused = [&](const char* what) {
    const std::optional<SerialError> e = lock.Acquire(Port());
    EXPECT_TRUE(e) << what;
    if (!e) return;
    EXPECT_EQ(e->SystemError, -1) << what;
    EXPECT_TRUE(e->Text().contains(what) && e->Text().contains(File())) << e->Text().toStdString();
    EXPECT_FALSE(lock.Held());
  };
  ASSERT_TRUE(QFile::link(victim, File()));
  refused("a symbolic link");
  EXPECT_EQ(ReadAll(victim), QByteArray());
  QFile::remove(File());
  ASSERT_EQ(::mkfifo(QFile::encodeName(File()).constData(), 0600), 0);
  refused("a pipe");
  QFile::remove(File());
  ASSERT_TRUE(QDir().mkdir(File()));
  refused("a folder");
  QDir().rmdir(File());
  QFile empty(File());
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  refused("holds no process id");
}

// A terminal whose number was used before starts without the lock of the
// one that went, even while the program that took that lock still runs: the
// emulator clears it as it makes the terminal, so that concurrent tests
// never take a living program's lock over.
TEST(EmulatorTerminalLock, ANewTerminalStartsWithoutTheLockOfAGoneOneOfItsNumber) {
  QProcess holder;
  holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
  ASSERT_TRUE(holder.waitForStarted());
  bool reused = false;
  // Terminal numbers are given lowest first; another test may take the
  // freed one first, so the test tries until it gets it back.
  for (int attempt = 0; attempt < 20 && !reused; ++attempt) {
    QString port;
    QString file;
    {
      PtyPair gone;
      port = QString::fromStdString(gone.Path());
      file = PortLockFile(port);
    }
    ASSERT_FALSE(file.isEmpty());
    QFile lock(file);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(LockText(holder.processId()));
    lock.close();
    DevSim sim;
    reused = QString::fromStdString(sim.path()) == port;
    if (!reused) {
      QFile::remove(file);
      continue;
    }
    EXPECT_FALSE(QFileInfo::exists(file));
    PortLock taken;
    EXPECT_FALSE(taken.Acquire(port));
  }
  EXPECT_TRUE(reused) << "no terminal number came back in 20 tries";
  holder.kill();
  holder.waitForFinished();
}

}  // namespace
}  // namespace ovrel::test
