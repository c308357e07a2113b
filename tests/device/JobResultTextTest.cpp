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
      {JobKind::Upload, JobStage::Verify, FailureKind::Verify, 'r', 15, nullptr, "other bytes",
       "Verification failed"},
      {JobKind::Upload, JobStage::Verify, FailureKind::NoReply, 'r', 4,
       "Sorvani stopped answering while block 5 of 16 was read.", "",
       "Reading the Sorvani session memory back failed"},
  };
  for (const StopCase& c : cases) {
    OperationResult ended;
    ended.Kind = c.Kind;
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

}  // namespace
}  // namespace ovrel
