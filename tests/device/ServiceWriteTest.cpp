// The device service tells when a write into the device begins and ends:
// from the C that prepares the memory until the operation that writes has
// ended, before a verification starts or the job tells its end. ovrel
// finishes such a write before it obeys a signal, and the program keeps
// its marker file for as long.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>

#include "LinkTestSupport.h"
#include "device/jobs/DeviceService.h"
#include "support/InProcessDevice.h"

namespace ovrel::test {
namespace {

// No settle delay and no pause; the emulator in this process answers from
// the event loop, its C after 50 ms.
const LinkTiming kNoWaits{LinkDuration::zero(), std::chrono::milliseconds(199),
                          std::chrono::milliseconds(999), LinkDuration::zero()};

TEST(ServiceWrite, AWriteIsToldFromItsCToTheEndOfItsOperation) {
  struct Case {
    const char* Name;
    std::vector<devsim::CommandFault> NoReply;
    bool Read;  // a plain read instead of a verified write
    const char* Events;
  };
  const Case cases[] = {
      {"a verified write", {}, false, "began,ended,verify,job"},
      {"a write that stops at the third block", {{'D', 3}}, false, "began,ended,job"},
      {"a write whose C is not answered", {{'C', 1}}, false, "began,ended,job"},
      {"a read before the write that fails", {{'r', 2}}, false, "job"},
      {"a plain read", {}, true, "job"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    QTemporaryDir backups;
    devsim::Options options;
    options.NoReply = c.NoReply;
    InProcessDevice device(options);
    DeviceService service(device, kNoWaits, backups.path());
    service.SetPort(QStringLiteral("/dev/in-process"));
    QStringList events;
    bool writingAtVerify = true;
    QObject::connect(&service, &DeviceService::WriteBegan, [&] {
      EXPECT_TRUE(service.Writing());
      events << "began";
    });
    QObject::connect(&service, &DeviceService::WriteEnded, [&] {
      EXPECT_FALSE(service.Writing());
      events << "ended";
    });
    QObject::connect(&service, &DeviceService::JobEnded, [&] { events << "job"; });
    RunToEnd([&](DeviceJobs::Done done) {
      if (c.Read) {
        service.Read(done, std::nullopt);
        return;
      }
      WriteOptions write;
      write.Verify = true;
      DeviceJob* job = service.Write(MemoryImageOf(LibraryWithSegments(3)), std::move(write), done);
      QObject::connect(job, &DeviceJob::StageStarted, [&](JobStage stage) {
        if (stage != JobStage::Verify) return;
        writingAtVerify = service.Writing();
        events << "verify";
      });
    });
    EXPECT_EQ(events.join(',').toStdString(), c.Events);
    EXPECT_FALSE(service.Writing());
    if (events.contains("verify")) {
      EXPECT_FALSE(writingAtVerify);
    }
  }
}

}  // namespace
}  // namespace ovrel::test
