// The kernel's console terminals are never opened as the device's port.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <QFileInfo>
#include <string>

#include "TerminalTestSupport.h"
#include "device/serial/SerialPort.h"
#include "device/serial/SystemConsole.h"

namespace ovrel::test {
namespace {

// Exit codes of the child that opens the port in its own mount namespace.
constexpr int kRefused = 0;
constexpr int kOpened = 1;
constexpr int kNoNamespace = 2;

bool RefusedAsConsole(const QString& path) {
  SerialPort port;
  if (const std::optional<SerialError> e = port.Open(path)) {
    return e->Kind == SerialErrorKind::OpenFailed && e->Text().contains("is the system console");
  }
  const std::uint8_t probe[] = {0x41, 0x54, 'S', 0x00, 'S'};
  port.Write(probe, sizeof probe);
  return false;
}

// Judged by device number, so that no console is ever opened by a test.
TEST(SystemConsole, ConsoleDevicesAreKnownByTheirNumbers) {
  EXPECT_TRUE(IsSystemConsole(makedev(5, 0)));   // /dev/tty
  EXPECT_TRUE(IsSystemConsole(makedev(5, 1)));   // /dev/console
  EXPECT_TRUE(IsSystemConsole(makedev(4, 0)));   // /dev/tty0
  EXPECT_TRUE(IsSystemConsole(makedev(4, 63)));  // the last virtual terminal
  EXPECT_FALSE(IsSystemConsole(makedev(5, 2)));  // /dev/ptmx
  PtyPair pty;
  struct stat info {};
  ASSERT_EQ(::stat(pty.Path().c_str(), &info), 0);
  EXPECT_FALSE(IsSystemConsole(info.st_rdev));
}

// A pseudo-terminal bind-mounted over the terminal the console file names
// stands for the console: neither its path nor the console's is opened, no
// setting reaches it and nothing is written.
TEST(SystemConsole, APortThatIsTheActiveConsoleIsNeitherSetUpNorWritten) {
  QString console;
  for (const QString& name : ActiveConsoleNames()) {
    if (QFileInfo::exists(QStringLiteral("/dev/") + name)) console = QStringLiteral("/dev/") + name;
  }
  if (console.isEmpty()) GTEST_SKIP() << "the kernel names no console terminal under /dev";

  PtyPair pty;
  termios before{};
  ASSERT_EQ(::tcgetattr(pty.Master().Fd(), &before), 0);
  ::cfsetospeed(&before, B9600);
  ::cfsetispeed(&before, B9600);
  ASSERT_EQ(::tcsetattr(pty.Master().Fd(), TCSANOW, &before), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) < 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) < 0 ||
        ::mount(pty.Path().c_str(), console.toLocal8Bit().constData(), nullptr, MS_BIND,
                nullptr) < 0)
      ::_exit(kNoNamespace);
    const bool refused = RefusedAsConsole(QString::fromStdString(pty.Path())) &&
                         RefusedAsConsole(console);
    ::_exit(refused ? kRefused : kOpened);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kNoNamespace)
    GTEST_SKIP() << "private user and mount namespaces are not allowed here";
  EXPECT_EQ(WEXITSTATUS(status), kRefused);
  EXPECT_TRUE(pty.Master().Receive(1, 200).empty());
  termios after{};
  ASSERT_EQ(::tcgetattr(pty.Master().Fd(), &after), 0);
  EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B9600));
}

}  // namespace
}  // namespace ovrel::test
