// What a failed job tells the user: where the device stopped answering, in
// blocks counted from one, and what its memory holds after that.
#include <gtest/gtest.h>

#include "device/jobs/JobResult.h"

namespace ovrel {
namespace {

struct StopCase {
  JobKind Job;
  JobStage Stage;
  FailureKind Kind;
  char Command;
  int Block;  // counted from zero, as the link reports it
  const char* Says;
  const char* Holds;  // part of the memory text; empty: none
  const char* Status;
  JobFailure Failed = JobFailure::None;
};

TEST(JobResultText, SaysWhereTheDeviceStoppedAndWhatItHolds) {
  const StopCase cases[] = {
      {JobKind::Read, JobStage::Read, FailureKind::NoReply, 'r', 2,
       "Sorvani stopped answering while block 3 of 16 was read.", "", nullptr},
      {JobKind::Upload, JobStage::Write, FailureKind::NoReply, 'D', 2,
       "Sorvani stopped answering while block 3 of 16 was written.", "stopped at block 3 of 16",
       nullptr},
      {JobKind::Upload, JobStage::Write, FailureKind::WrongReply, 'C', -1,
       "Sorvani gave a wrong answer when its memory was prepared for writing.",
       "before its first block", nullptr},
      {JobKind::Upload, JobStage::Write, FailureKind::NoReply, 'E', -1,
       "Sorvani stopped answering after the last block was written, before it confirmed the "
       "write.",
       "did not confirm the write", nullptr},
      {JobKind::Upload, JobStage::Verify, FailureKind::None, 'r', 15, nullptr, "other bytes",
       "Verification failed", JobFailure::Verify},
      {JobKind::Upload, JobStage::Verify, FailureKind::NoReply, 'r', 4,
       "Sorvani stopped answering while block 5 of 16 was read.", "",
       "Reading the Sorvani session memory back failed"},
  };
  for (const StopCase& c : cases) {
    JobResult ended;
    ended.Kind = c.Kind;
    ended.Failed = c.Failed;
    ended.Stage = c.Stage;
    ended.At.Step = 5;  // the port opened and exchanges went on
    ended.At.Command = c.Command;
    ended.At.Block = c.Block;
    const JobResult result = JobEnd(c.Job, ended);
    SCOPED_TRACE(std::string(1, c.Command) + " block " + std::to_string(c.Block));
    if (c.Says) {
      EXPECT_EQ(result.Failure().toStdString(), c.Says);
    }
    if (*c.Holds) {
      EXPECT_TRUE(result.MemoryText().contains(QString::fromUtf8(c.Holds)))
          << result.MemoryText().toStdString();
    }
    if (c.Status) {
      EXPECT_EQ(result.Status().toStdString(), c.Status);
    }
  }
}

// A job passes on what its operation said: the same words, the same icon
// (the device's checksum reply is a plain note), the step and the image.
TEST(JobResultText, AnOperationsEndKeepsItsWordsInTheJobsResult) {
  const struct {
    FailureKind Kind;
    LinkMessage Message;
    bool Error;
  } cases[] = {
      {FailureKind::Checksum, {LinkText::CheckSumError, {}, {}}, false},
      {FailureKind::PortBusy, {LinkText::PortBusy, {}, QStringLiteral("/dev/ttyUSB0")}, true},
      {FailureKind::DamagedReply, {LinkText::DamagedReplyStart, {}, QStringLiteral("D")}, true},
  };
  for (const auto& c : cases) {
    OperationResult ended;
    ended.Kind = c.Kind;
    ended.Message = c.Message;
    ended.At.Step = 7;
    ended.At.Command = 'D';
    ended.MemImg = MemoryImage{};
    const JobResult result = OperationEnded(ended, JobStage::Write);
    SCOPED_TRACE(c.Message.Text().toStdString());
    EXPECT_EQ(result.Kind, c.Kind);
    EXPECT_EQ(result.Failed, JobFailure::None);
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(result.Message.Text(), c.Message.Text());
    EXPECT_EQ(result.Message.IsError(), c.Error);
    EXPECT_EQ(result.Failure(), c.Message.Line());
    EXPECT_EQ(result.At.Command, 'D');
    EXPECT_EQ(result.Stage, JobStage::Write);
    EXPECT_TRUE(result.MemImg.has_value());
  }
}

// A job's own failure fails the job even when its last operation went
// well, and its message is an error that names its subject.
TEST(JobResultText, AJobsOwnFailureIsAFailureWithItsOwnWords) {
  JobResult written;
  written.Stage = JobStage::Read;
  written.Failed = JobFailure::File;
  written.Message = {JobText::WorkingFileNotWritten, QStringLiteral("No space left on device"),
                     QStringLiteral("SVPMemImg.svl")};
  const JobResult result = JobEnd(JobKind::Add, written);
  EXPECT_FALSE(result.Ok());
  EXPECT_TRUE(result.Message.IsError());
  EXPECT_TRUE(result.Message.Text().contains(QStringLiteral("\"SVPMemImg.svl\"")));
  EXPECT_EQ(result.Reason(), result.Message.Line());
  EXPECT_EQ(result.Memory, DeviceMemory::Untouched);
}

}  // namespace
}  // namespace ovrel
