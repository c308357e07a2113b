// The device operations against the emulator on a pseudo-terminal.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <memory>
#include <thread>

#include "LinkTestSupport.h"
#include "device/link/DeviceLink.h"
#include "device/operations/LibraryUpload.h"
#include "device/serial/SerialPort.h"
#include "support/DevSim.h"
#include "support/LoopBlockWatch.h"

namespace ovrel::test {
namespace {

// The waits at a fifth of their length: 19.9 ms settle, 199 ms for a reply.
const LinkTiming kFast = LinkTiming{}.Scaled(0.2);

class DeviceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    OldDir = QDir::currentPath();
    QDir::setCurrent(Dir.path());  // the working files land here
    MakeLink(kFast);
  }
  void TearDown() override {
    Jobs.reset();
    Link.reset();
    QDir::setCurrent(OldDir);
    qputenv("OVREL_PORTS", "");
  }
  void MakeLink(const LinkTiming& timing) {
    Jobs.reset();
    Link.reset();
    Link = std::make_unique<DeviceLink>(Port, Ui, timing);
    Jobs = std::make_unique<DeviceJobs>(*Link);
  }
  void Use(const DevSim& sim) { Link->SetPort(QString::fromStdString(sim.path())); }
  // Stops the emulator, which in strict mode fails when a byte outside a
  // well-formed frame reached it.
  static void ExpectCleanWire(DevSim& sim) { EXPECT_EQ(sim.stop(), 0) << sim.log(); }
  QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }
  QString LibFile(const Bytes& bytes) {
    WriteFile(Path("lib.svl"), bytes);
    return Path("lib.svl");
  }
  QString SessionFile(const QByteArray& text) {
    WriteFile(Path("ses.svs"), text);
    return Path("ses.svs");
  }
  // Runs one operation to its end and keeps what it showed.
  JobResult Run(const std::function<void(DeviceJobs::Done)>& start) {
    Last = RunToEnd(start);
    Ui.Show(Last);
    return Last;
  }
  bool Connect() {
    return Run([&](DeviceJobs::Done done) { Jobs->Connect(done); }).Ok();
  }
  bool Upload(const QString& path) {
    return Run([&](DeviceJobs::Done done) { Jobs->UploadFile(path, Plain(), done); }).Ok();
  }
  bool Add(const QString& path) {
    return Run([&](DeviceJobs::Done done) { Jobs->Add(path, Plain(), done); }).Ok();
  }
  bool Read() {
    return Run([&](DeviceJobs::Done done) { Jobs->Read(done, std::nullopt); }).Ok();
  }
  // The steps reported, without the reports of time passing in a pause.
  std::vector<std::pair<LinkProgress, qint64>> CommandSteps() const {
    std::vector<std::pair<LinkProgress, qint64>> out;
    for (std::size_t i = 0; i < Ui.Steps.size(); ++i)
      if (Ui.Steps[i].Command != 0) out.emplace_back(Ui.Steps[i], Ui.StepTimesMs[i]);
    return out;
  }
  std::vector<QString> MessageTexts() const {
    std::vector<QString> out;
    for (const auto& m : Ui.Messages) out.push_back(m.Text());
    return out;
  }

  QTemporaryDir Dir;
  QString OldDir;
  SerialPort Port;
  RecordingUi Ui;
  std::unique_ptr<DeviceLink> Link;
  std::unique_ptr<DeviceJobs> Jobs;
  JobResult Last;
};

TEST_F(DeviceLinkTest, AutodetectionFindsTheSecondOfThreePorts) {
  const std::string folder = Dir.path().toStdString();
  DevSim silent({"--log", "--no-reply", "S:1", "--link", folder + "/a"});
  DevSim device({"--strict", "--log", "--link", folder + "/b"});
  DevSim third({"--log", "--link", folder + "/c"});
  const QStringList ports{Path("a"), Path("b"), Path("c")};
  qputenv("OVREL_PORTS", ports.join(QLatin1Char(':')).toLocal8Bit());

  EXPECT_TRUE(Connect());
  EXPECT_EQ(Last.Port, Path("b"));
  EXPECT_EQ(Link->Port(), Path("b"));  // the port of the operations to come
  EXPECT_FALSE(Port.IsOpen());
  EXPECT_EQ(Ui.Ports, ports);
  EXPECT_EQ(Ui.Probed, (std::vector<int>{0, 1}));
  EXPECT_EQ(LoggedCommands(silent.log()), "S");
  EXPECT_EQ(LoggedCommands(device.log()), "S");
  EXPECT_EQ(third.log(), "");
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(DeviceLinkTest, AutodetectionProbeRules) {
  DevSim answersE({"--probe-e"});
  qputenv("OVREL_PORTS", QByteArray::fromStdString(answersE.path()));
  EXPECT_TRUE(Connect());

  DevSim badPayload({"--probe-bad", "--log"});
  qputenv("OVREL_PORTS", QByteArray::fromStdString(badPayload.path()));
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(Connect());
  EXPECT_GE(clock.elapsed(), 199 + 19);  // the probe ran into its time-out
  EXPECT_EQ(LoggedCommands(badPayload.log()), "S");

  // A failed search leaves the link on the last port it probed.
  EXPECT_EQ(Link->Port(), QString::fromStdString(badPayload.path()));

  qputenv("OVREL_PORTS", "");
  EXPECT_FALSE(Connect());
  EXPECT_TRUE(Ui.Ports.isEmpty());
  EXPECT_EQ(Last.Kind, FailureKind::DeviceNotFound);
  EXPECT_EQ(Last.Message.Detail, LinkTextOf(LinkText::NoSerialPort));
  EXPECT_EQ(Link->Port(), QString::fromStdString(badPayload.path()));
}

// With the real waits: the upload and its progress. (How close it comes to
// the protocol's floor and the processor time it uses are measured in bench/.)
TEST_F(DeviceLinkTest, UploadWithTheRealTimingIsByteForByteAndSleepsWhileWaiting) {
  MakeLink(LinkTiming{});
  DevSim sim({"--strict", "--log"});
  Use(sim);
  const Bytes lib = LibraryWithSegments(60);
  ASSERT_EQ(lib.size(), 310u);

  QElapsedTimer clock;
  clock.start();
  std::vector<SleepingCall> sleptOnTheLoop;
  {
    LoopBlockWatch watch;
    EXPECT_TRUE(Upload(LibFile(lib)));
    // Only the rest of a wait whose timer went off a millisecond early is
    // slept; the waits themselves are spent in the event loop.
    sleptOnTheLoop = watch.LongerThan(std::chrono::milliseconds(2));
    EXPECT_GE(watch.LoopWaits(), 22);
  }
  const double wall = static_cast<double>(clock.elapsed()) / 1000.0;

  EXPECT_EQ(sim.memory(), Padded(lib));
  EXPECT_EQ(LoggedCommands(sim.log()), UploadCommands());
  EXPECT_FALSE(Port.IsOpen());
  EXPECT_TRUE(Ui.Messages.empty());
  EXPECT_GE(wall, 22 * 0.09936);
  EXPECT_TRUE(sleptOnTheLoop.empty()) << Describe(sleptOnTheLoop);

  ASSERT_EQ(Ui.Steps.size(), 23u);
  EXPECT_EQ(Ui.Steps[3].Command, 'D');
  EXPECT_EQ(Ui.Steps[3].Block, 0);
  EXPECT_EQ(Ui.Steps[21].Step, 22);
  EXPECT_EQ(Ui.Steps[21].Count, 22);
  EXPECT_EQ(Ui.Steps.back().Count, 0);
  EXPECT_EQ(Ui.BusyEvents, (std::vector<bool>{true, false}));
  ExpectCleanWire(sim);
}

// With the real waits, replies that come late but inside their time-outs are
// taken, and the merged library is not sent before the pause after the
// download has passed.
TEST_F(DeviceLinkTest, AMergeWithTheRealWaitsTakesLateRepliesAndKeepsThePause) {
  MakeLink(LinkTiming{});
  // I is answered 800 ms after it arrives (its time-out ends 99 + 994 ms
  // after the send), C after 8.5 s (99 + 9936 ms).
  DevSim sim({"--strict", "--log", "--delay", "I:800", "--delay", "C:8500"},
             Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  Use(sim);
  ASSERT_TRUE(Add(SessionFile(kOneSegmentSession)));
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + UploadCommands(false));
  EXPECT_EQ(sim.memory()[1], 1);

  // Step 17 sends the last r; its reply comes after the settle wait, then
  // the pause of 6955 ms runs before C (step 18) is sent.
  const auto steps = CommandSteps();
  ASSERT_GE(steps.size(), 18u);
  ASSERT_EQ(steps[16].first.Command, 'r');
  ASSERT_EQ(steps[17].first.Command, 'C');
  EXPECT_GE(steps[17].second - steps[16].second, 99 + 6955);
  // Meanwhile the progress moves on with time: from where the download
  // ended to about two thirds further on.
  std::vector<int> pause;
  for (const LinkProgress& p : Ui.Steps)
    if (p.Command == 0 && p.Count > 0) pause.push_back(p.Permille);
  ASSERT_GE(pause.size(), 30u);
  EXPECT_TRUE(std::is_sorted(pause.begin(), pause.end()));
  EXPECT_GT(pause.back() - pause.front(), 500);
  EXPECT_GT(steps[17].first.Permille, pause.back());
  ExpectCleanWire(sim);
}

TEST_F(DeviceLinkTest, TimeOutOnBlock7SendsNothingMore) {
  DevSim sim({"--strict", "--log", "--no-reply", "D:8"});
  Use(sim);
  EXPECT_FALSE(Upload(LibFile(LibraryWithSegments(3))));
  EXPECT_EQ(LoggedCommands(sim.log()), "ICW" + Repeat('D', 8));
  EXPECT_FALSE(Port.IsOpen());
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(DeviceLinkTest, ChecksumErrorAfterAllCommands) {
  DevSim sim({"--strict", "--log", "--bad-checksum"});
  Use(sim);
  EXPECT_FALSE(Upload(LibFile(LibraryWithSegments(3))));
  EXPECT_EQ(LoggedCommands(sim.log()), UploadCommands());
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_EQ(Ui.Messages[0].Text(), "CheckSum Error");
  EXPECT_FALSE(Ui.Messages[0].IsError());
  EXPECT_FALSE(Port.IsOpen());
}

TEST_F(DeviceLinkTest, WrongLetterEndsTheWaitAtOnce) {
  LinkTiming slow = kFast;
  slow.ReplyTimeout = std::chrono::hours(1);  // only the wrong reply can end the wait
  MakeLink(slow);
  DevSim sim({"--strict", "--log", "--wrong-letter", "W:1"});
  Use(sim);
  EXPECT_FALSE(Upload(LibFile(LibraryWithSegments(1))));
  EXPECT_EQ(LoggedCommands(sim.log()), "ICW");

  // The wrong reply must not end the waits of the next upload: its C takes
  // longer than the settle wait and is still taken.
  DevSim slowC({"--strict", "--log", "--c-delay", "300"});
  Use(slowC);
  EXPECT_TRUE(Upload(LibFile(LibraryWithSegments(1))));
  EXPECT_EQ(LoggedCommands(slowC.log()), UploadCommands());
}

TEST_F(DeviceLinkTest, AnUploadOfAMergedImageStartsWithC) {
  DevSim sim({"--strict", "--log"});
  Use(sim);
  const Bytes lib = LibraryWithSegments(2);
  const MemoryImage image = MemoryImageOf(lib);
  EXPECT_TRUE(Run([&](DeviceJobs::Done done) {
                Link->Run(
                    std::make_unique<LibraryUpload>(image, false),
                    [done](const OperationResult& r) { done(OperationEnded(r, JobStage::Write)); });
              }).Ok());
  EXPECT_EQ(LoggedCommands(sim.log()), UploadCommands(false));
  EXPECT_EQ(sim.memory(), Padded(lib));
}

TEST_F(DeviceLinkTest, LibraryFileProblemsLeaveThePortAlone) {
  DevSim sim({"--strict", "--log"});
  Use(sim);
  EXPECT_FALSE(Upload(Path("missing.svl")));
  EXPECT_FALSE(Upload(LibFile(Bytes(2049, 0x17))));
  // A file whose reads fail (EIO) claims a size of 0: nothing is uploaded.
  ASSERT_TRUE(QFile::link("/proc/self/mem", Path("mem.svl")));
  EXPECT_FALSE(Upload(Path("mem.svl")));
  EXPECT_EQ(MessageTexts(), (std::vector<QString>{JobTextOf(JobText::LibFileNotFound),
                                                  JobTextOf(JobText::LibFileTooBig),
                                                  JobTextOf(JobText::LibFileUnreadable)}));
  EXPECT_EQ(Ui.Messages.back().Detail, "Cannot read " + Path("mem.svl") + ": Input/output error");
  EXPECT_EQ(sim.log(), "");

  // A file of exactly 2048 bytes (a raw read) is taken whole, also the
  // bytes after its library.
  Bytes full = Padded(LibraryWithSegments(1));
  full[2047] = 0x5A;
  EXPECT_TRUE(Upload(LibFile(full)));
  EXPECT_EQ(sim.memory(), full);
}

// An upload replaces the whole memory: a file that is no sound library
// would wipe the device's sessions, so nothing of it is sent.
TEST_F(DeviceLinkTest, AFileThatIsNoSoundLibraryLeavesTheDeviceAlone) {
  const Bytes old = Padded(LibraryWithSegments(3));
  DevSim sim({"--strict", "--log"}, old);
  Use(sim);
  Bytes badChecksum = LibraryWithSegments(2);
  badChecksum.back() ^= 0x01;
  for (const Bytes& bytes : {Bytes{}, Bytes{0x17}, Bytes(SesMemSize, 0), badChecksum}) {
    Ui.Messages.clear();
    EXPECT_FALSE(Upload(LibFile(bytes))) << bytes.size() << " bytes";
    EXPECT_EQ(Last.Failed, JobFailure::File);
    ASSERT_EQ(MessageTexts(), std::vector<QString>{JobTextOf(JobText::LibFileNotSound)});
    EXPECT_TRUE(Ui.Messages[0].IsError());
    EXPECT_TRUE(Ui.Messages[0].Detail.startsWith(Path("lib.svl") + ": "))
        << Ui.Messages[0].Detail.toStdString();
  }
  // A folder, or no file at all (the window's library box left empty): the
  // folder is named for what it is.
  Ui.Messages.clear();
  ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("folder.svl")));
  EXPECT_FALSE(Upload(Path("folder.svl")));
  EXPECT_FALSE(Upload(QString()));
  EXPECT_EQ(MessageTexts(), (std::vector<QString>{JobTextOf(JobText::LibFileNotRegular),
                                                  JobTextOf(JobText::LibFileNotFound)}));
  EXPECT_EQ(sim.log(), "");
  EXPECT_EQ(sim.memory(), old);

  // The library without sessions is sound.
  const Bytes empty{0x17, 0x00, 0x00, 0x04, 0x13};
  EXPECT_TRUE(Upload(LibFile(empty)));
  EXPECT_EQ(sim.memory(), Padded(empty));
}

TEST_F(DeviceLinkTest, PortThatCannotBeOpened) {
  Link->SetPort(Path("no-such-port"));
  EXPECT_FALSE(Upload(LibFile(LibraryWithSegments(1))));
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_EQ(Ui.Messages[0].Text(),
            "Sorvani is disconnected or not turned on. Session Library Upload failed.");
  EXPECT_TRUE(Ui.Messages[0].IsError());
  EXPECT_FALSE(Ui.Messages[0].Detail.isEmpty());
  EXPECT_EQ(Last.Kind, FailureKind::NotConnected);
}

TEST_F(DeviceLinkTest, NothingIsSentOnAClosedPort) {
  DevSim sim({"--strict", "--log"});
  Use(sim);
  QElapsedTimer clock;
  clock.start();
  std::optional<ExchangeEnd> end;
  Link->Line().Exchange(cmd::S, {}, kFast.SettleDelay, kFast.ReplyTimeout,
                        [&](ExchangeEnd e, auto) { end = e; });
  while (!end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(end, ExchangeEnd::NoReply);
  EXPECT_GE(clock.elapsed(), 199 + 19);  // failed by its time-out
  EXPECT_EQ(sim.log(), "");
}

TEST_F(DeviceLinkTest, ALargeCountIsReadInPieces) {
  Bytes memory(SesMemSize);
  for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<std::uint8_t>(i * 7 + 3);
  DevSim sim({}, memory);
  const QString path = QString::fromStdString(sim.path());
  ASSERT_FALSE(Link->Line().Open(path));
  // Twenty read commands at once (blocks 0 to 15, then 0 to 3): 2660 bytes
  // of replies, more than the line reads at a time.
  Bytes frames;
  for (int k = 0; k < 20; ++k) {
    const ReadPayload payload = ReadBlockPayload(k % 16);
    Bytes frame(8);
    BuildFrame(frame, cmd::r, payload.Bytes);
    frames.insert(frames.end(), frame.begin(), frame.end());
  }
  ASSERT_FALSE(Port.Write(frames.data(), static_cast<int>(frames.size())));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  std::optional<ExchangeEnd> end;
  Bytes reply;
  const ReadPayload block3 = ReadBlockPayload(3);
  Link->Line().Exchange(cmd::r, block3.Bytes, LinkDuration::zero(), kFast.ReplyTimeout,
                        [&](ExchangeEnd e, std::span<const std::uint8_t> payload) {
                          end = e;
                          reply.assign(payload.begin(), payload.end());
                        });
  Link->Line().OnBytesArrived(20 * 133);
  // All twenty frames were assembled: the last is the reply.
  ASSERT_EQ(end, ExchangeEnd::Replied);
  EXPECT_EQ(reply, Bytes(memory.begin() + 3 * 128, memory.begin() + 4 * 128));
  Link->Line().Close();
}

TEST_F(DeviceLinkTest, HangUpMidUploadEndsInFailure) {
  LinkTiming endless = kFast;
  endless.ReplyTimeout = std::chrono::hours(1);  // only the hang-up can end the wait
  MakeLink(endless);
  DevSim sim({"--strict", "--log", "--hangup-after", "6"});
  Use(sim);
  EXPECT_FALSE(Upload(LibFile(LibraryWithSegments(1))));
  EXPECT_FALSE(Port.IsOpen());
  EXPECT_EQ(LoggedCommands(sim.log()), "ICWDDDD");  // the seventh is not answered
}

// A device that hangs up while a reply is awaited is a lost connection at
// once, not when the wait (9.9 s for C) runs out, and it is told the same
// way whenever it is noticed. The link's next operation, on a device that is
// back, starts afresh.
TEST_F(DeviceLinkTest, AHangUpIsALostConnectionAtOnceAndTheNextOperationStartsAfresh) {
  const auto expectLost = [&](char at) {
    EXPECT_EQ(Last.Kind, FailureKind::PortFailure);
    EXPECT_EQ(Last.At.Command, at);
    ASSERT_EQ(Ui.Messages.size(), 1u);
    ASSERT_EQ(Ui.Messages[0].Link, LinkText::ConnectionLost);
    EXPECT_EQ(Ui.Messages[0].Detail, SerialErrorText(SerialErrorKind::HungUp));
    EXPECT_FALSE(Port.IsOpen());
    Ui.Messages.clear();
  };
  // The device answers C and hangs up 60 ms later, in the link's settle delay.
  LinkTiming timing = kFast;
  timing.SettleDelay = std::chrono::microseconds(198'720);
  MakeLink(timing);
  DevSim late({"--strict", "--log", "--hangup-after-reply", "2"});
  Use(late);
  EXPECT_FALSE(Upload(LibFile(LibraryWithSegments(1))));
  EXPECT_EQ(LoggedCommands(late.log()), "IC");
  expectLost('C');

  // The device hangs up on C, whose reply is awaited without end: only the
  // hang-up can end the wait.
  timing = kFast;
  timing.LongReplyTimeout = std::chrono::hours(1);
  MakeLink(timing);
  DevSim gone({"--strict", "--log", "--hangup-after", "1"});
  Use(gone);
  EXPECT_FALSE(Upload(LibFile(LibraryWithSegments(1))));
  EXPECT_EQ(LoggedCommands(gone.log()), "IC");
  expectLost('C');

  DevSim back({"--strict", "--log"});
  Use(back);
  EXPECT_TRUE(Upload(LibFile(LibraryWithSegments(1))));
  EXPECT_EQ(LoggedCommands(back.log()), UploadCommands());
  EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(DeviceLinkTest, APartialReplyLeftByAFailedReadDoesNotMisalignTheNext) {
  {
    // Replies trickle in a byte every 2 ms: a 133-byte r reply outlasts the
    // 199 ms wait, so the download fails in the middle of a frame.
    DevSim slow({"--chunk", "1"});
    Use(slow);
    EXPECT_FALSE(Read());
  }
  const Bytes lib = LibraryWithSegments(5);
  DevSim sim({}, Padded(lib));
  Use(sim);
  EXPECT_TRUE(Read());
  ASSERT_TRUE(Last.MemImg.has_value());
  EXPECT_EQ(Bytes(Last.MemImg->begin(), Last.MemImg->end()), Padded(lib));
}

TEST_F(DeviceLinkTest, TheTwoWorkedMerges) {
  DevSim sim({"--strict", "--log", "--chunk", "7"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  Use(sim);
  const QString session = SessionFile(kOneSegmentSession);
  const Bytes one{0x17, 0x01, 0x00, 0x0E, 0x00, 0x06, 0x01, 0x00,
                  0x24, 0x0A, 0x0A, 0x64, 0x64, 0x00, 0x3B};
  ASSERT_TRUE(Add(session));
  EXPECT_EQ(sim.memory(), Padded(one));
  EXPECT_EQ(ReadFile(kTempSesLibFile), one);
  EXPECT_EQ(ReadFile(kMemImgFile), Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + UploadCommands(false));

  ASSERT_TRUE(Add(session));
  const Bytes two{0x17, 0x02, 0x00, 0x18, 0x00, 0x08, 0x00, 0x10, 0x01, 0x00, 0x24, 0x0A, 0x0A,
                  0x64, 0x64, 0x00, 0x01, 0x00, 0x24, 0x0A, 0x0A, 0x64, 0x64, 0x00, 0x15};
  EXPECT_EQ(sim.memory(), Padded(two));
  EXPECT_EQ(ReadFile(kTempSesLibFile), two);
  EXPECT_EQ(ReadFile(kMemImgFile), Padded(one));
  EXPECT_TRUE(Ui.Messages.empty());
  ExpectCleanWire(sim);
}

TEST_F(DeviceLinkTest, MemoryLimitSendsOnlyTheDownloadAndO) {
  const Bytes big = LibraryWithSegments(404);  // L = 2029
  DevSim sim({"--strict", "--log"}, Padded(big));
  Use(sim);
  const QString session =
      SessionFile("version=23\n1,0,\n36,10,10,100,100,\n36,10,10,100,100,\n0,\n");
  EXPECT_FALSE(Add(session));
  EXPECT_EQ(MessageTexts(), std::vector<QString>{JobTextOf(JobText::MemoryLimit)});
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O");
  EXPECT_EQ(sim.memory(), Padded(big));
  EXPECT_FALSE(QFile::exists(kTempSesLibFile));
  EXPECT_FALSE(Port.IsOpen());
  ExpectCleanWire(sim);
}

TEST_F(DeviceLinkTest, InvalidDeviceMemoryIsNotMerged) {
  DevSim sim({"--strict", "--log"}, Bytes(SesMemSize, 0));
  Use(sim);
  EXPECT_FALSE(Add(SessionFile(kOneSegmentSession)));
  EXPECT_EQ(MessageTexts(), std::vector<QString>{JobTextOf(JobText::InvalidDeviceLibrary)});
  EXPECT_TRUE(Ui.Messages[0].Detail.contains("version byte is 0"));
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O");
  EXPECT_EQ(sim.memory(), Bytes(SesMemSize, 0));
}

TEST_F(DeviceLinkTest, AnUnwritableMemoryImageFileClosesTheTransfer) {
  // A folder in the way of the working file: not writable even for root.
  ASSERT_TRUE(QDir().mkdir(kMemImgFile));
  DevSim sim({"--strict", "--log"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  Use(sim);
  EXPECT_FALSE(Add(SessionFile(kOneSegmentSession)));
  ASSERT_EQ(Ui.Messages.size(), 1u);
  EXPECT_EQ(Ui.Messages[0].Id, JobText::WorkingFileNotWritten);
  EXPECT_EQ(Ui.Messages[0].Text(), "The file \"SVPMemImg.svl\" cannot be written.");
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O");
  EXPECT_EQ(sim.memory(), Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  EXPECT_FALSE(Port.IsOpen());
  ExpectCleanWire(sim);
}

TEST_F(DeviceLinkTest, TempSesLibIsWrittenWhenTheUploadFails) {
  DevSim sim({"--strict", "--log", "--no-reply", "D:3"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  Use(sim);
  EXPECT_FALSE(Add(SessionFile(kOneSegmentSession)));
  EXPECT_EQ(ReadFile(kTempSesLibFile), (Bytes{0x17, 0x01, 0x00, 0x0E, 0x00, 0x06, 0x01, 0x00, 0x24,
                                              0x0A, 0x0A, 0x64, 0x64, 0x00, 0x3B}));
  EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "CWDDD");
}

TEST_F(DeviceLinkTest, BrokenSessionFileIsRefusedBeforeTheDevice) {
  DevSim sim({"--strict", "--log"}, Padded({0x17, 0x00, 0x00, 0x04, 0x13}));
  Use(sim);
  EXPECT_FALSE(Add(SessionFile("version=23\n1,0,\n36,10,10,100,100,\n")));
  EXPECT_FALSE(Add(SessionFile("version=23\n1,0,\n36,10,10,\n0,\n")));
  EXPECT_FALSE(Add(Path("missing.svs")));
  // 256 would reach the device as 0, the end of the session.
  EXPECT_FALSE(Add(SessionFile("version=23\n1,0,\n256,10,10,100,100,\n0,\n")));
  ASSERT_TRUE(QFile::link("/proc/self/mem", Path("mem.svs")));
  EXPECT_FALSE(Add(Path("mem.svs")));
  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_TRUE(texts[3].contains("line 3: the first number is 0 in its low 8 bits"));
  EXPECT_TRUE(texts[3].endsWith("of the session. The session was not added."))
      << texts[3].toStdString();
  EXPECT_EQ(texts[4], JobTextOf(JobText::SesFileUnreadable));
  EXPECT_EQ(Ui.Messages.back().Detail, "Cannot read " + Path("mem.svs") + ": Input/output error");
  EXPECT_TRUE(texts[0].contains("\"0,\" line")) << texts[0].toStdString();
  EXPECT_TRUE(texts[1].contains(", line 3: the segment line has 3 comma-terminated numbers"))
      << texts[1].toStdString();
  EXPECT_EQ(texts[2], "The session file not found.");
  EXPECT_EQ(sim.log(), "");
}

// Operations asked for while one runs wait for it, in the order they came;
// a queued job runs between them, never inside one.
TEST_F(DeviceLinkTest, OneOperationAtATimeInTheOrderAsked) {
  DevSim sim({"--strict", "--log"});
  Use(sim);
  const QString lib = LibFile(LibraryWithSegments(2));
  std::vector<std::string> order;
  bool busyInside = false;
  std::string logAtJob;
  QTimer::singleShot(60, [&] {
    busyInside = Link->Busy();
    Jobs->Read([&](const JobResult& r) { order.push_back(r.Ok() ? "read" : "read failed"); },
               std::nullopt);
    Jobs->AfterQueued([&] {
      order.push_back("job");
      logAtJob = LoggedCommands(sim.log());
    });
  });
  EXPECT_TRUE(Upload(lib));
  order.insert(order.begin(), "upload");
  QElapsedTimer clock;
  clock.start();
  while (order.size() < 3 && clock.elapsed() < 5000) QCoreApplication::processEvents();
  EXPECT_TRUE(busyInside);
  EXPECT_EQ(order, (std::vector<std::string>{"upload", "read", "job"}));
  EXPECT_EQ(logAtJob, UploadCommands() + "I" + Repeat('r', 16) + "O");
  EXPECT_FALSE(Link->Busy());
  ExpectCleanWire(sim);
}

}  // namespace
}  // namespace ovrel::test
