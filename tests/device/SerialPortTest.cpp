// The serial port component on pseudo-terminals made by the test.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <time.h>

#include <QCoreApplication>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <memory>

#include "TerminalTestSupport.h"
#include "device/serial/ComPort.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

double ProcessCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Asserts that the call raises EComPort with the given row, and returns it.
template <typename F>
EComPort Raised(F&& call) {
  try {
    call();
  } catch (const EComPort& e) {
    return e;
  }
  ADD_FAILURE() << "no EComPort raised";
  return EComPort(0, -1);
}

// A port whose handler reads exactly what each notification announces.
struct ReadingPort {
  TComPort Port;
  Bytes Received;
  std::vector<int> Counts;
  explicit ReadingPort(const std::string& path) {
    Port.SetPort(QString::fromStdString(path));
    Port.OnRxChar = [this](TCustomComPort* sender, int count) {
      Counts.push_back(count);
      Bytes chunk(static_cast<size_t>(std::max(count, 0)));
      const int got = sender->Read(chunk.data(), count);
      EXPECT_EQ(got, count) << "a notification of N bytes is followed by a Read of N";
      Received.insert(Received.end(), chunk.begin(), chunk.begin() + std::max(got, 0));
    };
  }
  bool WaitFor(size_t bytes, int timeoutMs = 2000) {
    return QTest::qWaitFor([&] { return Received.size() >= bytes; }, timeoutMs);
  }
};

TEST(ComPortMessages, RowTextAndSystemCode) {
  EXPECT_EQ(comPortMessage(1), QStringLiteral("Unable to open com port"));
  EXPECT_EQ(comPortMessage(2), QStringLiteral("WriteFile function failed"));
  EXPECT_EQ(comPortMessage(23), QStringLiteral("Registry error"));
  EXPECT_TRUE(comPortMessage(0).isEmpty());
  EXPECT_TRUE(comPortMessage(24).isEmpty());
  EXPECT_STREQ(EComPort(3, -1).what(), "ReadFile function failed");
  const EComPort withCode(1, ENOENT);
  EXPECT_STREQ(withCode.what(),
               "Unable to open com port (system error 2: No such file or directory)");
  EXPECT_EQ(withCode.MessageIndex(), 1);
  EXPECT_EQ(withCode.SystemError(), ENOENT);
}

TEST(ComPort, OpenOfAMissingPortRaisesRowOneAndStaysClosed) {
  TComPort port;
  port.SetPort(QStringLiteral("/dev/ovrel-no-such-port"));
  const EComPort e = Raised([&] { port.Open(); });
  EXPECT_EQ(e.MessageIndex(), 1);
  EXPECT_EQ(e.SystemError(), ENOENT);
  EXPECT_STREQ(e.what(), "Unable to open com port (system error 2: No such file or directory)");
  EXPECT_FALSE(port.Connected());
}

TEST(ComPort, SecondOpenerIsRefusedUntilTheFirstCloses) {
  PtyPair pty;
  TComPort first, second;
  first.SetPort(QString::fromStdString(pty.Path()));
  second.SetPort(first.Port());
  first.Open();
  const EComPort e = Raised([&] { second.Open(); });
  EXPECT_EQ(e.MessageIndex(), 1);
  EXPECT_NE(e.SystemError(), -1);
  EXPECT_NE(std::string(e.what()).find("Unable to open com port (system error "),
            std::string::npos);
  EXPECT_FALSE(second.Connected());
  EXPECT_TRUE(first.Connected());
  first.Close();
  second.Open();
  EXPECT_TRUE(second.Connected());
}

TEST(ComPort, OpenWhenOpenAndCloseWhenClosedDoNothing) {
  PtyPair pty;
  TComPort port;
  port.Close();
  EXPECT_FALSE(port.Connected());
  port.SetPort(QString::fromStdString(pty.Path()));
  port.SetConnected(true);
  ASSERT_TRUE(port.Connected());
  ASSERT_TRUE(pty.Master().Send({1, 2, 3}));
  QTest::qWait(50);
  // A second opening would have discarded the waiting bytes.
  port.Open();
  std::uint8_t buffer[8];
  EXPECT_EQ(port.Read(buffer, 8), 3);
  port.SetConnected(false);
  EXPECT_FALSE(port.Connected());
  port.Close();
}

TEST(ComPort, ReadOfNothingReturnsZeroAtOnce) {
  PtyPair pty;
  TComPort port;
  port.SetPort(QString::fromStdString(pty.Path()));
  port.Open();
  std::uint8_t buffer[16];
  const auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
  EXPECT_LT(MillisecondsSince(start), 50);
}

TEST(ComPort, NotificationsCarryTheBytesThatArrivedAndNeverZero) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  reader.Port.Open();
  const Bytes seven = {0x41, 0x54, 0x49, 0x00, 0x49, 0x0D, 0x0A};
  ASSERT_TRUE(pty.Master().Send(seven));
  ASSERT_TRUE(reader.WaitFor(7));
  EXPECT_EQ(reader.Received, seven);
  for (int count : reader.Counts) EXPECT_GE(count, 1);
  // Nothing more arrives: no notification with nothing to read.
  const size_t calls = reader.Counts.size();
  QTest::qWait(100);
  EXPECT_EQ(reader.Counts.size(), calls);
}

TEST(ComPort, EveryByteValuePassesUnchangedBothWays) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  reader.Port.Open();
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(reader.Port.Write(all.data(), 256), 256);
  EXPECT_EQ(pty.Master().Receive(256, 2000), all);
  ASSERT_TRUE(pty.Master().Send(all));
  ASSERT_TRUE(reader.WaitFor(256));
  EXPECT_EQ(reader.Received, all);
}

TEST(ComPort, CloseDiscardsUnreadBytes) {
  PtyPair pty;
  TComPort port;  // no handler: nothing reads
  port.SetPort(QString::fromStdString(pty.Path()));
  port.Open();
  ASSERT_TRUE(pty.Master().Send({9, 8, 7, 6, 5}));
  QTest::qWait(50);
  port.Close();
  port.Open();
  QTest::qWait(50);
  std::uint8_t buffer[8];
  EXPECT_EQ(port.Read(buffer, 8), 0);
}

TEST(ComPort, BytesWaitingBeforeTheOpeningAreNotSeen) {
  PtyPair pty;
  // Left in the terminal by an earlier user of the line.
  ASSERT_TRUE(pty.Master().Send({0x41, 0x54, 0x49}));
  QTest::qWait(50);
  ReadingPort reader(pty.Path());
  reader.Port.Open();
  const Bytes reply = Frame('I');
  ASSERT_TRUE(pty.Master().Send(reply));
  ASSERT_TRUE(reader.WaitFor(reply.size()));
  QTest::qWait(50);
  EXPECT_EQ(reader.Received, reply);
}

// The line is set up whatever the terminal held before: the settings are
// read back through the device side of a pseudo-terminal, which keeps the
// speed, stop bits, flow control and raw flags it is given.
TEST(ComPort, OpeningSetsRaw38400EightNoneOneWithoutFlowControl) {
  PtyPair pty;
  const int master = pty.Master().Fd();
  termios before{};
  ASSERT_EQ(::tcgetattr(master, &before), 0);
  before.c_cflag |= PARENB | PARODD | CSTOPB | CRTSCTS;
  before.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
  before.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  before.c_oflag |= OPOST | ONLCR;
  ::cfsetispeed(&before, B9600);
  ::cfsetospeed(&before, B9600);
  ASSERT_EQ(::tcsetattr(master, TCSANOW, &before), 0);

  TComPort port;
  port.SetPort(QString::fromStdString(pty.Path()));
  port.Open();
  termios tio{};
  ASSERT_EQ(::tcgetattr(master, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B38400));
  EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B38400));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP | INPCK), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST(ComPort, SettingTheSamePortKeepsItOpenAnotherReopens) {
  PtyPair a, b;
  TComPort port;
  port.SetPort(QString::fromStdString(a.Path()));
  port.Open();
  ASSERT_TRUE(a.Master().Send({1, 2}));
  QTest::qWait(50);
  port.SetPort(QString::fromStdString(a.Path()));
  std::uint8_t buffer[8];
  EXPECT_EQ(port.Read(buffer, 8), 2) << "not closed: the bytes are still there";

  port.SetPort(QString::fromStdString(b.Path()));
  EXPECT_TRUE(port.Connected());
  ASSERT_TRUE(b.Master().Send({3}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return port.Read(buffer, 8) == 1; }, 2000));
  EXPECT_EQ(buffer[0], 3);
  // The first port was released.
  TComPort other;
  other.SetPort(QString::fromStdString(a.Path()));
  EXPECT_NO_THROW(other.Open());
}

TEST(ComPort, ChangingThePortWhileOpenToAMissingOneLeavesItClosed) {
  PtyPair pty;
  TComPort port;
  port.SetPort(QString::fromStdString(pty.Path()));
  port.Open();
  // Names are compared exactly: another case is another port.
  const QString upper = QString::fromStdString(pty.Path()).toUpper();
  const EComPort e = Raised([&] { port.SetPort(upper); });
  EXPECT_EQ(e.MessageIndex(), 1);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Port(), upper);
  // While closed, a name is only stored.
  port.SetPort(QStringLiteral("/dev/ovrel-no-such-port"));
  EXPECT_FALSE(port.Connected());
}

TEST(ComPort, HangUpEndsTheThreadAndLaterWritesFail) {
  auto pty = std::make_unique<PtyPair>();
  ReadingPort reader(pty->Path());
  reader.Port.Open();
  pty.reset();  // the device side goes away
  QTest::qWait(100);
  const double cpuBefore = ProcessCpuMs();
  QTest::qWait(300);
  EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0) << "no busy loop after a hang-up";
  EXPECT_TRUE(reader.Counts.empty());
  const std::uint8_t frame[5] = {0x41, 0x54, 0x53, 0x00, 0x53};
  const auto start = Clock::now();
  const EComPort e = Raised([&] { reader.Port.Write(frame, 5); });
  EXPECT_EQ(e.MessageIndex(), 2);
  EXPECT_LT(MillisecondsSince(start), 3000);
  EXPECT_TRUE(reader.Port.Connected());
  reader.Port.Close();
  EXPECT_FALSE(reader.Port.Connected());
}

TEST(ComPort, WriteGivesUpAfterTheWriteTimeOut) {
  PtyPair pty;
  TComPort port;
  port.SetPort(QString::fromStdString(pty.Path()));
  // A second writer, opened first, fills the line while nobody reads it.
  RawEnd filler(pty.Path());
  ASSERT_TRUE(filler.Valid());
  port.Open();
  // The terminal moves bytes on in the background: fill until a round
  // after a pause takes nothing more.
  const Bytes block(4096, 0x55);
  for (int round = 0; round < 50; ++round) {
    ssize_t taken = 0, n;
    while ((n = ::write(filler.Fd(), block.data(), block.size())) > 0) taken += n;
    while ((n = ::write(filler.Fd(), block.data(), 1)) > 0) taken += n;
    ASSERT_EQ(errno, EAGAIN);
    if (taken == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::uint8_t one = 0x53;
  const auto start = Clock::now();
  const EComPort e = Raised([&] { port.Write(&one, 1); });
  const long long elapsed = MillisecondsSince(start);
  EXPECT_EQ(e.MessageIndex(), 2);
  EXPECT_EQ(e.SystemError(), ETIMEDOUT);
  EXPECT_GE(elapsed, 1050);  // 100 ms per byte + 1000 ms
  EXPECT_LT(elapsed, 3000);
}

TEST(ComPort, AnErrorInTheHandlerEndsNotificationsUntilReopened) {
  PtyPair pty;
  TComPort port;
  port.SetPort(QString::fromStdString(pty.Path()));
  int calls = 0;
  port.OnRxChar = [&](TCustomComPort*, int) {
    ++calls;
    throw std::runtime_error("handler failed");
  };
  port.Open();
  ASSERT_TRUE(pty.Master().Send({1}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 2000));
  ASSERT_TRUE(pty.Master().Send({2}));
  QTest::qWait(200);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(port.Connected());
  port.Close();
  port.Open();
  ASSERT_TRUE(pty.Master().Send({3}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, 2000));
}

TEST(ComPort, CloseRunsTheNotificationThatIsAlreadyQueued) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  bool openDuringHandler = false;
  auto read = reader.Port.OnRxChar;
  reader.Port.OnRxChar = [&](TCustomComPort* sender, int count) {
    openDuringHandler = sender->Connected();
    read(sender, count);
  };
  reader.Port.Open();
  ASSERT_TRUE(pty.Master().Send({4, 5, 6}));
  // Let the event thread queue its notification without running events.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  reader.Port.Close();
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_EQ(reader.Received, (Bytes{4, 5, 6}));
  EXPECT_TRUE(openDuringHandler);
  // The queued wake-up finds nothing more to run.
  QTest::qWait(50);
  EXPECT_EQ(reader.Counts.size(), 1u);
}

TEST(ComPort, TheHandlerMayCloseThePort) {
  PtyPair pty;
  TComPort port;
  port.SetPort(QString::fromStdString(pty.Path()));
  int calls = 0;
  port.OnRxChar = [&](TCustomComPort* sender, int) {
    ++calls;
    sender->Close();
  };
  port.Open();
  ASSERT_TRUE(pty.Master().Send({1}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !port.Connected(); }, 2000));
  EXPECT_EQ(calls, 1);
  port.Open();
  EXPECT_TRUE(port.Connected());
}

TEST(ComPort, ExchangesWithTheEmulatorAndSurvivesItsHangUp) {
  DevSim sim({"--chunk", "4", "--hangup-after", "2"});
  ReadingPort reader(sim.path());
  reader.Port.Open();
  const Bytes probe = Frame('S');
  reader.Port.Write(probe.data(), static_cast<int>(probe.size()));
  ASSERT_TRUE(reader.WaitFor(10));
  EXPECT_EQ(Bytes(reader.Received.begin(), reader.Received.begin() + 3), (Bytes{0x41, 0x54, 'S'}));
  reader.Received.clear();
  const Bytes read = Frame('r', {0x00, 0x80, 0x80});
  reader.Port.Write(read.data(), static_cast<int>(read.size()));
  ASSERT_TRUE(reader.WaitFor(133));
  EXPECT_EQ(reader.Received, Frame('r', Bytes(128, 0)));
  // The third command makes the emulator hang up, possibly before this
  // write has finished.
  const Bytes open = Frame('I');
  try {
    reader.Port.Write(open.data(), static_cast<int>(open.size()));
  } catch (const EComPort& e) {
    EXPECT_EQ(e.MessageIndex(), 2);
  }
  EXPECT_EQ(sim.waitExit(2000), 0);
  QTest::qWait(100);
  const auto start = Clock::now();
  const EComPort e = Raised([&] { reader.Port.Write(open.data(), 5); });
  EXPECT_EQ(e.MessageIndex(), 2);
  reader.Port.Close();
  EXPECT_LT(MillisecondsSince(start), 3000);
}

TEST(ComPort, IdleEventThreadUsesNoProcessor) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  reader.Port.Open();
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const double cpuBefore = ProcessCpuMs();
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const double cpuMs = ProcessCpuMs() - cpuBefore;
  ::getrusage(RUSAGE_SELF, &after);
  const double wallMs = static_cast<double>(MillisecondsSince(start));
  RecordProperty("idle_cpu_ms_per_s", std::to_string(cpuMs * 1000.0 / wallMs));
  std::printf("idle port: %.3f ms CPU in %.0f ms wall, %ld context switches\n", cpuMs, wallMs,
              (after.ru_nvcsw + after.ru_nivcsw) - (before.ru_nvcsw + before.ru_nivcsw));
  EXPECT_LT(cpuMs, 5.0);
}

}  // namespace
}  // namespace ovrel::test
