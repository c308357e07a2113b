// The port list: OVREL_PORTS as the whole list, OVREL_EXTRA_PORTS added to
// the system's ports, only existing paths, no duplicates, sorted without
// regard to case. No port is opened here.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

#include "device/serial/SerialPort.h"
#include "device/serial/PortDescription.h"
#include "device/serial/PortHolder.h"

namespace ovrel::test {
namespace {

// Sets (or unsets) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<QString> value) : name_(name) {
    if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
    if (value)
      qputenv(name, value->toLocal8Bit());
    else
      qunsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      qputenv(name_, *old_);
    else
      qunsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<QByteArray> old_;
};

class PortListTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  // Makes an empty file standing in for a port and returns its path.
  QString Port(const QString& name) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    return path;
  }
  QString Missing(const QString& name) { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
};

TEST_F(PortListTest, PortsVariableIsTheWholeListSortedWithoutCase) {
  const QString com2 = Port("COM2"), com10 = Port("com10"), com1 = Port("COM1");
  const ScopedEnv extra("OVREL_EXTRA_PORTS", Port("extra"));
  const ScopedEnv ports("OVREL_PORTS",
                        QStringList{com2, com10, Missing("gone"), com1, com2}.join(':') + ":");
  const SerialPortList listed = ListSerialPorts();
  EXPECT_FALSE(listed.Error);
  const QStringList& list = listed.Ports;
  EXPECT_EQ(list, (QStringList{com1, com10, com2}));
}

TEST_F(PortListTest, EmptyPortsVariableMeansNoPorts) {
  const ScopedEnv ports("OVREL_PORTS", QString());
  const SerialPortList listed = ListSerialPorts();
  EXPECT_FALSE(listed.Error);
  const QStringList& list = listed.Ports;
  EXPECT_TRUE(list.isEmpty());
}

TEST_F(PortListTest, ExtraPortsJoinTheSystemPortsWithoutTheConsole) {
  const QString b = Port("b-port"), a = Port("A-port");
  const ScopedEnv ports("OVREL_PORTS", std::nullopt);
  const ScopedEnv extra("OVREL_EXTRA_PORTS", QStringList{b, Missing("gone"), a, b}.join(':'));
  const SerialPortList listed = ListSerialPorts();
  ASSERT_FALSE(listed.Error);
  const QStringList& list = listed.Ports;
  EXPECT_EQ(list.count(a), 1);
  EXPECT_EQ(list.count(b), 1);
  EXPECT_FALSE(list.contains(Missing("gone")));
  EXPECT_LT(list.indexOf(a), list.indexOf(b));
  for (int i = 1; i < list.size(); ++i)
    EXPECT_LE(QString::compare(list[i - 1], list[i], Qt::CaseInsensitive), 0)
        << list.join(' ').toStdString();
  // The kernel's console terminals are never offered for probing.
  QFile active("/sys/class/tty/console/active");
  if (active.open(QIODevice::ReadOnly)) {
    for (const QString& name :
         QString::fromLatin1(active.readAll()).simplified().split(' ', Qt::SkipEmptyParts))
      EXPECT_FALSE(list.contains("/dev/" + name)) << name.toStdString();
  }
  // Only hardware-backed terminals: never the virtual consoles or ptmx.
  for (const QString& port : list) {
    if (port == a || port == b) continue;
    EXPECT_TRUE(QFile::exists("/sys/class/tty/" + QFileInfo(port).fileName() + "/device"))
        << port.toStdString();
  }
}

// A USB adapter laid out as sysfs shows one: the terminal's device folder
// is an interface below the USB device that names maker, product and serial.
TEST(PortDescription, UsbAdapterIsDescribedThroughAnyNameOfItsPort) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QDir dir(root.path());
  const QString usb = QStringLiteral("devices/usb1/1-1");
  ASSERT_TRUE(dir.mkpath(usb + QStringLiteral("/1-1:1.0/ttyUSB0")));
  ASSERT_TRUE(dir.mkpath(QStringLiteral("class/tty/ttyUSB0")));
  ASSERT_TRUE(dir.mkpath(QStringLiteral("dev/serial/by-id")));
  const auto write = [&](const QString& name, const QByteArray& text) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  write(usb + QStringLiteral("/idVendor"), "0403\n");
  write(usb + QStringLiteral("/manufacturer"), "FTDI\n");
  write(usb + QStringLiteral("/product"), "FT232R USB UART\n");
  write(usb + QStringLiteral("/serial"), "A50285BI\n");
  write(QStringLiteral("dev/ttyUSB0"), "");
  write(QStringLiteral("dev/ttyS4"), "");
  ASSERT_TRUE(QFile::link(dir.filePath(usb + QStringLiteral("/1-1:1.0/ttyUSB0")),
                          dir.filePath(QStringLiteral("class/tty/ttyUSB0/device"))));
  const QString byIdName = QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("dev/ttyUSB0")),
                          dir.filePath(QStringLiteral("dev/serial/by-id/")) + byIdName));
  const QString classDir = dir.filePath(QStringLiteral("class/tty"));
  const QString byIdDir = dir.filePath(QStringLiteral("dev/serial/by-id"));

  const QString expected =
      QStringLiteral("FTDI FT232R USB UART, serial number A50285BI, ") + byIdName;
  EXPECT_EQ(PortDescription(dir.filePath(QStringLiteral("dev/ttyUSB0")), classDir, byIdDir),
            expected);
  EXPECT_EQ(PortDescription(byIdDir + u'/' + byIdName, classDir, byIdDir), expected);
  // A port the system knows nothing more of, and a path that is gone.
  EXPECT_EQ(PortDescription(dir.filePath(QStringLiteral("dev/ttyS4")), classDir, byIdDir), "");
  EXPECT_EQ(PortDescription(dir.filePath(QStringLiteral("dev/ttyUSB9")), classDir, byIdDir), "");
}

// A port grabber of another user cannot be looked into, but it can be named
// as the likely holder of a busy port. Here a program called ModemManager
// runs as root and the question is asked by a child running as nobody.
TEST(PortHolderTest, AKnownGrabberOfAnotherUserIsNamedAsLikely) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to ask as another user";
  QTemporaryDir dir;
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), dir.filePath("ModemManager")));
  QProcess grabber;
  grabber.start(dir.filePath("ModemManager"), {QStringLiteral("30")});
  ASSERT_TRUE(grabber.waitForStarted());
  EXPECT_EQ(LikelyPortHolder(), QString());  // root sees its files: not "likely"

  int answer[2];
  ASSERT_EQ(::pipe(answer), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(answer[0]);
    const QByteArray likely =
        ::setuid(65534) == 0 ? LikelyPortHolder().toUtf8() : QByteArray("setuid failed");
    (void)!::write(answer[1], likely.constData(), static_cast<size_t>(likely.size()));
    ::_exit(0);
  }
  ::close(answer[1]);
  char buffer[256] = {};
  const ssize_t got = ::read(answer[0], buffer, sizeof buffer - 1);
  ::close(answer[0]);
  ::waitpid(child, nullptr, 0);
  grabber.kill();
  grabber.waitForFinished();
  const QString likely = QString::fromUtf8(buffer, got > 0 ? static_cast<int>(got) : 0);
  EXPECT_TRUE(likely.startsWith(QStringLiteral("ModemManager (process "))) << likely.toStdString();
}

}  // namespace
}  // namespace ovrel::test
