// The port lock: the system's lock file for the port, taken over when its
// holder has gone, and refused, saying why, whenever it cannot be taken.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>

#include "TerminalTestSupport.h"
#include "device/serial/PortLock.h"

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

// A lock on a pseudo-terminal that is older than the terminal was taken on
// an earlier terminal of the same number: it does not hold this one, even
// while the program that took it still runs.
TEST_F(PortLockTest, ALockOlderThanItsPseudoTerminalIsStale) {
  QProcess holder;
  holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
  ASSERT_TRUE(holder.waitForStarted());
  QFile old(File());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write(LockText(holder.processId()));
  old.close();
  const struct timespec anHourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(File()).constData(), anHourAgo, 0), 0);
  PortLock lock;
  EXPECT_FALSE(lock.Acquire(Port()));
  EXPECT_EQ(ReadAll(File()), LockText(::getpid()));
  holder.kill();
  holder.waitForFinished();
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
  EXPECT_EQ(PortLockHolder(Port()), QStringLiteral("sleep (process %1)").arg(holder.processId()));
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

}  // namespace
}  // namespace ovrel::test
