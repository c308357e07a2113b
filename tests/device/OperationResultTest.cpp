// How each device operation ends: the kind of failure, the step where it
// happened, the message and the notes, with the device in this process and
// no settle delay or pause, so nothing waits in real time but a missing reply.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>

#include "LinkTestSupport.h"
#include "device/link/DeviceLink.h"
#include "support/InProcessDevice.h"

namespace ovrel::test {
namespace {

// No settle delay and no pause. The in-process device answers from the
// event loop at once: a reply time-out of 199 ms is ample.
const LinkTiming kNoWaits{LinkDuration::zero(), std::chrono::milliseconds(199),
                          std::chrono::milliseconds(9936), LinkDuration::zero()};
const QString kPort = QStringLiteral("/dev/in-process");

class OperationResultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    WriteFile(Dir.filePath("lib.svl"), LibraryWithSegments(3));
    WriteFile(Dir.filePath("ses.svs"), kOneSegmentSession);
  }
  // Runs start on the jobs of a fresh link to device; the jobs keep no
  // backups, and the add's working files go to Dir.
  JobResult RunOn(InProcessDevice& device,
                  const std::function<void(DeviceJobs&, DeviceJobs::Done)>& start) {
    DeviceLink link(device, Ui, kNoWaits);
    DeviceJobs jobs(link);
    link.SetPort(Port);
    const JobResult result = RunToEnd([&](DeviceJobs::Done done) { start(jobs, done); });
    EXPECT_FALSE(device.IsOpen());
    return result;
  }
  JobResult Upload(InProcessDevice& device, const QString& path) {
    return RunOn(device,
                 [&](DeviceJobs& j, DeviceJobs::Done d) { j.UploadFile(path, Plain(), d); });
  }
  JobResult Add(InProcessDevice& device) {
    WriteOptions options = Plain();
    options.WorkingFolder = Dir.path();
    return RunOn(device, [&](DeviceJobs& j, DeviceJobs::Done d) {
      j.Add(Dir.filePath("ses.svs"), options, d);
    });
  }
  static void SetMemory(InProcessDevice& device, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), device.Device.Memory().begin());
  }

  QTemporaryDir Dir;
  RecordingUi Ui;
  QString Port = kPort;
};

TEST_F(OperationResultTest, EachFailureHasItsKindItsStepAndItsReason) {
  {
    devsim::Options options;
    options.NoReply = {{'D', 3}};
    InProcessDevice device(options);
    const JobResult r = Upload(device, Dir.filePath("lib.svl"));
    EXPECT_EQ(r.Kind, FailureKind::NoReply);
    EXPECT_EQ(r.At.Step, 6);
    EXPECT_EQ(r.At.Count, 22);
    EXPECT_EQ(r.At.Command, 'D');
    EXPECT_EQ(r.At.Block, 2);
    EXPECT_TRUE(r.Message.Empty());  // the status text tells it
    EXPECT_EQ(r.Reason(), "Sorvani did not answer the D command in time.");
    EXPECT_EQ(device.Commands, "ICWDDD");
  }
  {
    devsim::Options options;
    options.WrongLetter = {{'W', 1}};
    InProcessDevice device(options);
    const JobResult r = Upload(device, Dir.filePath("lib.svl"));
    EXPECT_EQ(r.Kind, FailureKind::WrongReply);
    EXPECT_EQ(r.At.Command, 'W');
    EXPECT_TRUE(r.Reason().contains("W command"));
  }
  {
    devsim::Options options;
    options.BadChecksum = true;
    InProcessDevice device(options);
    const JobResult r = Upload(device, Dir.filePath("lib.svl"));
    EXPECT_EQ(r.Kind, FailureKind::Checksum);
    EXPECT_EQ(r.Message.Text(), LinkTextOf(LinkText::CheckSumError));
    EXPECT_FALSE(r.Message.IsError());
    EXPECT_EQ(r.At.Command, 'O');  // found after the last command
  }
  {
    InProcessDevice device;
    device.Unplugged = true;
    const JobResult r = Upload(device, Dir.filePath("lib.svl"));
    EXPECT_EQ(r.Kind, FailureKind::NotConnected);
    EXPECT_EQ(r.Message.Text(), LinkTextOf(LinkText::PortOpenFailed));
    EXPECT_TRUE(r.Message.Detail.contains("No such file or directory"));
    EXPECT_EQ(r.At.Step, 0);
    EXPECT_EQ(r.Reason(), r.Message.Line());
    // A read of its own says that the read failed, not an upload.
    const JobResult read =
        RunOn(device, [](DeviceJobs& j, DeviceJobs::Done d) { j.Read(d, std::nullopt); });
    EXPECT_EQ(read.Kind, FailureKind::NotConnected);
    EXPECT_EQ(read.Message.Text(), LinkTextOf(LinkText::ReadPortOpenFailed));
  }
  {
    InProcessDevice device;
    const JobResult r = Upload(device, Dir.filePath("missing.svl"));
    EXPECT_EQ(r.Failed, JobFailure::File);
    EXPECT_EQ(r.Message.Text(), JobTextOf(JobText::LibFileNotFound));
    EXPECT_EQ(device.Commands, "");
  }
}

TEST_F(OperationResultTest, AnAddThatCannotMergeClosesTheTransferAndSaysWhy) {
  {
    InProcessDevice device;  // its memory holds no library
    const JobResult r = Add(device);
    EXPECT_EQ(r.Failed, JobFailure::InvalidDeviceImage);
    EXPECT_EQ(r.Message.Text(), JobTextOf(JobText::InvalidDeviceLibrary));
    EXPECT_EQ(device.Commands, "I" + Repeat('r', 16) + "O");
  }
  {
    InProcessDevice device;
    SetMemory(device, LibraryWithSegments(404));  // L = 2029: one more segment does not fit
    WriteFile(Dir.filePath("ses.svs"),
              QByteArray("version=23\n1,0,\n36,10,10,100,100,\n36,10,10,100,100,\n0,\n"));
    const JobResult r = Add(device);
    EXPECT_EQ(r.Failed, JobFailure::MemoryLimit);
    EXPECT_EQ(r.Message.Text(), JobTextOf(JobText::MemoryLimit));
    EXPECT_EQ(device.Commands, "I" + Repeat('r', 16) + "O");
  }
}

// What went wrong without stopping the add comes as a note: the merged
// library's working file that could not be written.
TEST_F(OperationResultTest, NotesDoNotFailAnAdd) {
  InProcessDevice device;
  SetMemory(device, {0x17, 0x00, 0x00, 0x04, 0x13});
  ASSERT_TRUE(QDir(Dir.path()).mkdir(kTempSesLibFile));  // in the file's way
  const JobResult r = Add(device);
  EXPECT_TRUE(r.Ok()) << r.Reason().toStdString();
  ASSERT_EQ(r.Notes.size(), 1u);
  EXPECT_EQ(r.Notes[0].Id, JobText::WorkingFileNotWritten);
  EXPECT_EQ(r.Notes[0].Text(), "The file \"TempSesLib.svl\" cannot be written.");
  EXPECT_EQ(device.Commands, "I" + Repeat('r', 16) + UploadCommands(false));
  EXPECT_EQ(device.Device.Memory()[1], 1);  // the session is in
}

// A link planted at an add's working file is never followed: the file it
// names keeps its bytes, and the add writes nothing into the device.
TEST_F(OperationResultTest, AnAddNeverWritesThroughALinkAtItsWorkingFile) {
  InProcessDevice device;
  const Bytes before{0x17, 0x00, 0x00, 0x04, 0x13};
  SetMemory(device, before);
  WriteFile(Dir.filePath("precious.txt"), QByteArray("keep me"));
  ASSERT_TRUE(QFile::link(Dir.filePath("precious.txt"), Dir.filePath(kMemImgFile)));
  const JobResult r = Add(device);
  EXPECT_EQ(r.Failed, JobFailure::File);
  EXPECT_EQ(r.Message.Id, JobText::WorkingFileNotWritten);
  EXPECT_EQ(r.Message.Subject, "SVPMemImg.svl");
  EXPECT_EQ(ReadFile(Dir.filePath("precious.txt")), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_EQ(device.Commands, "I" + Repeat('r', 16) + "O");
  EXPECT_TRUE(std::equal(before.begin(), before.end(), device.Device.Memory().begin()));
}

// The image an upload wrote and the image a read found come with their
// results, so that callers compare results rather than the link's insides.
TEST_F(OperationResultTest, UploadAndReadHandTheirImagesBack) {
  InProcessDevice device;
  const JobResult uploaded = Upload(device, Dir.filePath("lib.svl"));
  ASSERT_TRUE(uploaded.Ok()) << uploaded.Reason().toStdString();
  ASSERT_TRUE(uploaded.MemImg.has_value());
  EXPECT_EQ(Bytes(uploaded.MemImg->begin(), uploaded.MemImg->end()),
            Padded(LibraryWithSegments(3)));
  device.Device.Memory()[2047] = 0x5A;  // outside the library: read all the same
  const JobResult read =
      RunOn(device, [](DeviceJobs& j, DeviceJobs::Done d) { j.Read(d, std::nullopt); });
  ASSERT_TRUE(read.Ok()) << read.Reason().toStdString();
  ASSERT_TRUE(read.MemImg.has_value());
  EXPECT_TRUE(std::equal(read.MemImg->begin(), read.MemImg->end(), device.Device.Memory().begin()));
  EXPECT_EQ((*read.MemImg)[2047], 0x5A);

  // An add hands back the merged library it wrote.
  const JobResult added = Add(device);
  ASSERT_TRUE(added.Ok()) << added.Reason().toStdString();
  ASSERT_TRUE(added.MemImg.has_value());
  EXPECT_TRUE(
      std::equal(added.MemImg->begin(), added.MemImg->end(), device.Device.Memory().begin()));
  EXPECT_NE(*added.MemImg, *read.MemImg);
}

// Until a port is picked or found, every operation fails as not connected
// without touching the device.
TEST_F(OperationResultTest, WithoutAPortOperationsFailAsNotConnected) {
  InProcessDevice device;
  Port.clear();
  const JobResult uploaded = Upload(device, Dir.filePath("lib.svl"));
  EXPECT_EQ(uploaded.Kind, FailureKind::NotConnected);
  EXPECT_EQ(uploaded.Message.Text(), LinkTextOf(LinkText::PortOpenFailed));
  EXPECT_EQ(uploaded.Message.Detail, "Not connected");
  const JobResult added = Add(device);
  EXPECT_EQ(added.Kind, FailureKind::NotConnected);
  EXPECT_EQ(device.Commands, "");
  EXPECT_TRUE(device.Path().isEmpty());  // never opened
}

// A link that goes away in the middle of an operation (the program ends)
// closes the port and calls no one back.
TEST_F(OperationResultTest, ALinkDestroyedMidOperationClosesThePortQuietly) {
  devsim::Options options;
  options.ReplyDelayMs = {{'D', 20}};
  InProcessDevice device(options);
  bool called = false;
  {
    DeviceLink link(device, Ui, kNoWaits);
    DeviceJobs jobs(link);
    link.SetPort(kPort);
    jobs.UploadFile(Dir.filePath("lib.svl"), Plain(), [&](const JobResult&) { called = true; });
    while (device.Commands.find('D') == std::string::npos)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(device.IsOpen());
  }
  EXPECT_FALSE(device.IsOpen());
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 100) QCoreApplication::processEvents();  // the pending reply lands
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace ovrel::test
