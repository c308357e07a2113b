// The device jobs against the emulator: the port held for a whole job, and
// what each job's result says the device's memory holds.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "device/jobs/DeviceJobs.h"
#include "support/DevSim.h"
#include "tests/device/LinkTestSupport.h"

namespace ovrel::test {
namespace {

const LinkTiming kFast = LinkTiming{}.Scaled(0.2);

class JobLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    Link = std::make_unique<DeviceLink>(Port, Ui, kFast);
    Jobs = std::make_unique<DeviceJobs>(*Link, Dir.filePath(QStringLiteral("backups")));
  }
  void TearDown() override {
    Jobs.reset();
    Link.reset();
  }
  QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }
  JobResult Run(const std::function<DeviceJob*(DeviceJobs::Done)>& start) {
    std::optional<JobResult> result;
    start([&](const JobResult& r) { result = r; });
    while (!result) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return *result;
  }
  // Runs ovrel (a second program) to its end.
  int RunOvrel(const QStringList& args, QString& err) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("OVREL_PORTS"), QString());
    env.insert(QStringLiteral("XDG_DATA_HOME"), Path("data"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(Dir.path());
    p.start(QStringLiteral(OVREL_CLI_PATH), args);
    if (!p.waitForFinished(60000)) p.kill();
    err = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  }

  QTemporaryDir Dir;
  SerialPort Port;
  RecordingUi Ui;
  std::unique_ptr<DeviceLink> Link;
  std::unique_ptr<DeviceJobs> Jobs;
};

// Between a job's read and its write the port stays locked: another program
// that tries it then is refused as busy (never as a device gone), and the
// job's write lands whole, over what it read and kept.
TEST_F(JobLockTest, AnotherProgramBetweenAJobsReadAndItsWriteIsRefusedAsBusy) {
  const Bytes before = LibraryWithSegments(2);
  const Bytes mine = LibraryWithSegments(5);
  WriteFile(Path("mine.svl"), mine);
  WriteFile(Path("other.svl"), LibraryWithSegments(7));
  const std::vector<std::pair<const char*, std::function<DeviceJob*(DeviceJobs::Done)>>> jobs = {
      {"upload",
       [&](DeviceJobs::Done done) { return Jobs->UploadFile(Path("mine.svl"), {}, done); }},
      {"edit",
       [&](DeviceJobs::Done done) {
         return Jobs->Edit([&](const MemoryImage&) { return MemoryImageOf(mine); }, {}, done);
       }},
  };
  for (const auto& [name, start] : jobs) {
    SCOPED_TRACE(name);
    DevSim sim({"--log"}, Padded(before));
    const QString port = QString::fromStdString(sim.path());
    Link->SetPort(port);
    int otherStatus = -1;
    QString otherErr;
    const JobResult result = Run([&](DeviceJobs::Done done) {
      DeviceJob* job = start(std::move(done));
      QObject::connect(job, &DeviceJob::StageEnded, [&](JobStage stage) {
        if (stage == JobStage::Read)
          otherStatus = RunOvrel({"upload", "--port", port, "other.svl"}, otherErr);
      });
      return job;
    });
    EXPECT_EQ(otherStatus, 5) << otherErr.toStdString();
    EXPECT_TRUE(otherErr.contains(LinkTextOf(LinkText::PortBusy, port))) << otherErr.toStdString();
    EXPECT_FALSE(otherErr.contains("disconnected")) << otherErr.toStdString();
    ASSERT_TRUE(result.Ok()) << result.Failure().toStdString();
    EXPECT_EQ(result.Memory, DeviceMemory::Replaced);
    EXPECT_EQ(sim.memory(), Padded(mine));
    EXPECT_EQ(LoggedCommands(sim.log()), "I" + Repeat('r', 16) + "O" + UploadCommands());
    EXPECT_EQ(ReadFile(result.BackupPath), before);
  }
}

// What a write leaves in the device is told once, by the job, from where it
// stopped; the device's checksum reply decides whether it went through.
TEST_F(JobLockTest, TheResultSaysWhatTheMemoryHoldsWhereverTheWriteStopped) {
  const Bytes library = LibraryWithSegments(6);
  WriteFile(Path("lib.svl"), library);
  struct Case {
    std::vector<std::string> Fault;
    DeviceMemory Memory;
    int Block;
    const char* Says;
  };
  const Case cases[] = {
      {{}, DeviceMemory::Replaced, 0, ""},
      {{"--no-reply", "I:1"}, DeviceMemory::Untouched, 0, "when the transfer was opened"},
      {{"--no-reply", "C:1"}, DeviceMemory::Unknown, 0, "when its memory was prepared"},
      {{"--no-reply", "D:3"}, DeviceMemory::PartlyWritten, 3, "while block 3 of 16 was written"},
      {{"--wrong-letter", "D:16"}, DeviceMemory::PartlyWritten, 16, "wrong answer while block 16"},
      {{"--no-reply", "X:1"}, DeviceMemory::Unknown, 0, "before it confirmed the write"},
      {{"--bad-checksum"}, DeviceMemory::Unknown, 0, "CheckSum Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Says);
    DevSim sim(c.Fault);
    Link->SetPort(QString::fromStdString(sim.path()));
    WriteOptions plain;
    plain.Backup = false;
    const JobResult r =
        Run([&](DeviceJobs::Done done) { return Jobs->UploadFile(Path("lib.svl"), plain, done); });
    EXPECT_EQ(r.Memory, c.Memory);
    EXPECT_EQ(r.StoppedAtBlock, c.Block);
    EXPECT_EQ(r.Ok(), c.Fault.empty());
    EXPECT_TRUE(r.Failure().contains(QString::fromLatin1(c.Says))) << r.Failure().toStdString();
    EXPECT_EQ(r.MemoryText().isEmpty(), r.Ok()) << r.MemoryText().toStdString();
    EXPECT_EQ(r.Status(), r.Ok() ? "Sorvani session library uploaded successfully"
                                 : "Sorvani session library upload failed");
  }
}

// A restore that cannot reach the device names itself and its backup.
TEST_F(JobLockTest, AFailedRestoreNamesTheBackup) {
  WriteFile(Path("kept.svl"), LibraryWithSegments(3));
  Link->SetPort(Path("gone"));
  const JobResult r =
      Run([&](DeviceJobs::Done done) { return Jobs->Restore(Path("kept.svl"), {}, done); });
  EXPECT_EQ(r.Memory, DeviceMemory::Untouched);
  EXPECT_EQ(r.Status(), "Restoring the memory from kept.svl failed");
  EXPECT_EQ(r.Message.Text(),
            "Sorvani is disconnected or not turned on. Restoring the memory from kept.svl failed.");
  EXPECT_FALSE(r.Failure().contains("Session Library Upload failed"));
}

}  // namespace
}  // namespace ovrel::test
