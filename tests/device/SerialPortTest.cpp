// The serial port on pseudo-terminals made by the test.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <time.h>

#include <QCoreApplication>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <memory>

#include "TerminalTestSupport.h"
#include "device/serial/SerialPort.h"
#include "support/DevSim.h"
#include "support/LoopBlockWatch.h"

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

// The error a call returned; a failure of the test when it returned none.
SerialError Failed(const std::optional<SerialError>& error) {
  if (error) return *error;
  ADD_FAILURE() << "no SerialError returned";
  return {};
}

QString PathOf(const std::string& path) {
  return QString::fromStdString(path);
}

// A port whose handler reads exactly what each notification announces.
struct ReadingPort {
  SerialPort Port;
  QString Path;
  Bytes Received;
  std::vector<int> Counts;
  explicit ReadingPort(const std::string& path) : Path(PathOf(path)) {
    Port.OnBytesArrived = [this](int count) {
      Counts.push_back(count);
      Bytes chunk(static_cast<size_t>(std::max(count, 0)));
      const int got = Port.Read(chunk.data(), count).Count;
      EXPECT_EQ(got, count) << "a notification of N bytes is followed by a Read of N";
      Received.insert(Received.end(), chunk.begin(), chunk.begin() + std::max(got, 0));
    };
  }
  std::optional<SerialError> Open() { return Port.Open(Path); }
  bool WaitFor(size_t bytes, int timeoutMs = 2000) {
    return QTest::qWaitFor([&] { return Received.size() >= bytes; }, timeoutMs);
  }
};

TEST(SerialErrorText, KindTextAndSystemReason) {
  EXPECT_EQ(SerialErrorText(SerialErrorKind::OpenFailed), QStringLiteral("Unable to open com port"));
  EXPECT_EQ(SerialErrorText(SerialErrorKind::WriteFailed),
            QStringLiteral("WriteFile function failed"));
  EXPECT_EQ(SerialErrorText(SerialErrorKind::PortListFailed), QStringLiteral("Registry error"));
  EXPECT_EQ(SerialError({SerialErrorKind::ReadFailed, -1, {}}).Text(),
            QStringLiteral("ReadFile function failed"));
  EXPECT_EQ(SerialError({SerialErrorKind::OpenFailed, ENOENT, {}}).Text(),
            QStringLiteral("Unable to open com port (system error 2: No such file or directory)"));
  EXPECT_EQ(SerialError({SerialErrorKind::OpenFailed, -1, "in words"}).Text(),
            QStringLiteral("Unable to open com port (in words)"));
}

TEST(SerialPort, OpenOfAMissingPortFailsAndStaysClosed) {
  SerialPort port;
  const SerialError e = Failed(port.Open(QStringLiteral("/dev/ovrel-no-such-port")));
  EXPECT_EQ(e.Kind, SerialErrorKind::OpenFailed);
  EXPECT_EQ(e.SystemError, ENOENT);
  EXPECT_EQ(e.Text(), "Unable to open com port (system error 2: No such file or directory)");
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, SecondOpenerIsRefusedUntilTheFirstCloses) {
  PtyPair pty;
  SerialPort first, second;
  ASSERT_FALSE(first.Open(PathOf(pty.Path())));
  const SerialError e = Failed(second.Open(PathOf(pty.Path())));
  EXPECT_EQ(e.Kind, SerialErrorKind::OpenFailed);
  EXPECT_NE(e.SystemError, -1);
  EXPECT_TRUE(e.Text().startsWith("Unable to open com port (system error "));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_TRUE(first.IsOpen());
  first.Close();
  EXPECT_FALSE(second.Open(PathOf(pty.Path())));
  EXPECT_TRUE(second.IsOpen());
}

TEST(SerialPort, OpenWhenOpenAndCloseWhenClosedDoNothing) {
  PtyPair pty;
  SerialPort port;
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
  ASSERT_TRUE(port.IsOpen());
  ASSERT_TRUE(pty.Master().Send({1, 2, 3}));
  QTest::qWait(50);
  // A second opening would have discarded the waiting bytes.
  EXPECT_FALSE(port.Open(PathOf(pty.Path())));
  std::uint8_t buffer[8];
  EXPECT_EQ(port.Read(buffer, 8).Count, 3);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  port.Close();
}

TEST(SerialPort, ReadOfNothingReturnsZeroAtOnce) {
  PtyPair pty;
  SerialPort port;
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
  std::uint8_t buffer[16];
  LoopBlockWatch watch;
  const SerialRead read = port.Read(buffer, sizeof buffer);
  EXPECT_EQ(read.Count, 0);
  EXPECT_FALSE(read.Error);
  EXPECT_TRUE(watch.LongerThan(std::chrono::microseconds(0)).empty())
      << Describe(watch.LongerThan(std::chrono::microseconds(0)));
}

TEST(SerialPort, NotificationsCarryTheBytesThatArrivedAndNeverZero) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  ASSERT_FALSE(reader.Open());
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

TEST(SerialPort, EveryByteValuePassesUnchangedBothWays) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  ASSERT_FALSE(reader.Open());
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
  EXPECT_FALSE(reader.Port.Write(all.data(), 256));
  EXPECT_EQ(pty.Master().Receive(256, 2000), all);
  ASSERT_TRUE(pty.Master().Send(all));
  ASSERT_TRUE(reader.WaitFor(256));
  EXPECT_EQ(reader.Received, all);
}

TEST(SerialPort, CloseDiscardsUnreadBytes) {
  PtyPair pty;
  SerialPort port;  // no handler: nothing reads
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
  ASSERT_TRUE(pty.Master().Send({9, 8, 7, 6, 5}));
  QTest::qWait(50);
  port.Close();
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
  QTest::qWait(50);
  std::uint8_t buffer[8];
  EXPECT_EQ(port.Read(buffer, 8).Count, 0);
}

TEST(SerialPort, BytesWaitingBeforeTheOpeningAreNotSeen) {
  PtyPair pty;
  // Left in the terminal by an earlier user of the line.
  ASSERT_TRUE(pty.Master().Send({0x41, 0x54, 0x49}));
  QTest::qWait(50);
  ReadingPort reader(pty.Path());
  ASSERT_FALSE(reader.Open());
  const Bytes reply = Frame('I');
  ASSERT_TRUE(pty.Master().Send(reply));
  ASSERT_TRUE(reader.WaitFor(reply.size()));
  QTest::qWait(50);
  EXPECT_EQ(reader.Received, reply);
}

// The line is set up whatever the terminal held before: the settings are
// read back through the device side of a pseudo-terminal, which keeps the
// speed, stop bits, flow control and raw flags it is given.
TEST(SerialPort, OpeningSetsRaw38400EightNoneOneWithoutFlowControl) {
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

  SerialPort port;
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
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

TEST(SerialPort, OpeningAnotherPathClosesTheFirst) {
  PtyPair a, b;
  SerialPort port;
  ASSERT_FALSE(port.Open(PathOf(a.Path())));
  ASSERT_FALSE(port.Open(PathOf(b.Path())));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.Path(), PathOf(b.Path()));
  ASSERT_TRUE(b.Master().Send({3}));
  std::uint8_t buffer[8];
  EXPECT_TRUE(QTest::qWaitFor([&] { return port.Read(buffer, 8).Count == 1; }, 2000));
  EXPECT_EQ(buffer[0], 3);
  // The first port was released.
  SerialPort other;
  EXPECT_FALSE(other.Open(PathOf(a.Path())));

  // Names are compared exactly: another case is another port, and a port
  // that cannot be opened leaves the old one closed.
  const QString upper = PathOf(b.Path()).toUpper();
  EXPECT_EQ(Failed(port.Open(upper)).Kind, SerialErrorKind::OpenFailed);
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, HangUpEndsTheThreadAndLaterWritesFail) {
  auto pty = std::make_unique<PtyPair>();
  ReadingPort reader(pty->Path());
  ASSERT_FALSE(reader.Open());
  pty.reset();  // the device side goes away
  QTest::qWait(100);
  const double cpuBefore = ProcessCpuMs();
  QTest::qWait(300);
  EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0) << "no busy loop after a hang-up";
  EXPECT_TRUE(reader.Counts.empty());
  const std::uint8_t frame[5] = {0x41, 0x54, 0x53, 0x00, 0x53};
  const SerialError e = Failed(reader.Port.Write(frame, 5));
  EXPECT_EQ(e.Kind, SerialErrorKind::HungUp);  // not the write's time-out
  EXPECT_TRUE(reader.Port.IsOpen());
  reader.Port.Close();
  EXPECT_FALSE(reader.Port.IsOpen());
}

TEST(SerialPort, WriteGivesUpAfterTheWriteTimeOut) {
  PtyPair pty;
  SerialPort port;
  // A second writer, opened first, fills the line while nobody reads it.
  RawEnd filler(pty.Path());
  ASSERT_TRUE(filler.Valid());
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
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
  LoopBlockWatch watch;
  const SerialError e = Failed(port.Write(&one, 1));
  const long long elapsed = MillisecondsSince(start);
  EXPECT_EQ(e.Kind, SerialErrorKind::WriteFailed);
  EXPECT_EQ(e.SystemError, ETIMEDOUT);
  EXPECT_GE(elapsed, 1050);  // 100 ms per byte + 1000 ms
  // and no wait of the write asked for more than its time-out of 1100 ms.
  const std::vector<SleepingCall> waits = watch.LongerThan(std::chrono::microseconds(0));
  ASSERT_FALSE(waits.empty());
  for (const SleepingCall& wait : waits)
    EXPECT_TRUE(wait.Asked.count() >= 0 && wait.Asked <= std::chrono::milliseconds(1100))
        << Describe(waits);
}

TEST(SerialPort, AnErrorInTheHandlerEndsNotificationsUntilReopened) {
  PtyPair pty;
  SerialPort port;
  int calls = 0;
  port.OnBytesArrived = [&](int) {
    ++calls;
    throw std::runtime_error("handler failed");
  };
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
  ASSERT_TRUE(pty.Master().Send({1}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 2000));
  ASSERT_TRUE(pty.Master().Send({2}));
  QTest::qWait(200);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(port.IsOpen());
  port.Close();
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
  ASSERT_TRUE(pty.Master().Send({3}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, 2000));
}

TEST(SerialPort, CloseRunsTheNotificationThatIsAlreadyQueued) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  bool openDuringHandler = false;
  auto read = reader.Port.OnBytesArrived;
  reader.Port.OnBytesArrived = [&](int count) {
    openDuringHandler = reader.Port.IsOpen();
    read(count);
  };
  ASSERT_FALSE(reader.Open());
  ASSERT_TRUE(pty.Master().Send({4, 5, 6}));
  // Let the event thread queue its notification without running events.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  reader.Port.Close();
  EXPECT_EQ(reader.Received, (Bytes{4, 5, 6}));
  EXPECT_TRUE(openDuringHandler);
  // The queued wake-up finds nothing more to run.
  QTest::qWait(50);
  EXPECT_EQ(reader.Counts.size(), 1u);
}

TEST(SerialPort, TheHandlerMayCloseThePort) {
  PtyPair pty;
  SerialPort port;
  int calls = 0;
  port.OnBytesArrived = [&](int) {
    ++calls;
    port.Close();
  };
  ASSERT_FALSE(port.Open(PathOf(pty.Path())));
  ASSERT_TRUE(pty.Master().Send({1}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !port.IsOpen(); }, 2000));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(port.Open(PathOf(pty.Path())));
  EXPECT_TRUE(port.IsOpen());
}

TEST(SerialPort, ExchangesWithTheEmulatorAndSurvivesItsHangUp) {
  DevSim sim({"--chunk", "4", "--hangup-after", "2"});
  ReadingPort reader(sim.path());
  ASSERT_FALSE(reader.Open());
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
  if (const auto error = reader.Port.Write(open.data(), static_cast<int>(open.size()))) {
    EXPECT_EQ(error->Kind, SerialErrorKind::HungUp);
  }
  EXPECT_EQ(sim.waitExit(2000), 0);
  QTest::qWait(100);
  const SerialError e = Failed(reader.Port.Write(open.data(), 5));
  EXPECT_EQ(e.Kind, SerialErrorKind::HungUp);  // not the write's time-out
  reader.Port.Close();
}

TEST(SerialPort, IdleEventThreadUsesNoProcessor) {
  PtyPair pty;
  ReadingPort reader(pty.Path());
  ASSERT_FALSE(reader.Open());
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
