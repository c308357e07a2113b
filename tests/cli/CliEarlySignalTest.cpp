// A signal in ovrel's first moments, before a device command watches for
// signals: it must reach the command as a stop it reports, never end ovrel
// without a result; commands that do not watch signals meet it as always.

#include <gtest/gtest.h>
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "support/DevSim.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/device/LinkTestSupport.h"

namespace ovrel::test {
namespace {

class CliEarlySignalTest : public CliDeviceTest {
 protected:
  // Runs ovrel with signal sent to it at its start (by a preloaded shim).
  Outcome RunSignalledAtStart(const QStringList& args, int signal) {
    return RunWithSignalShim(args, QStringLiteral(OVREL_SIGNAL_AT_START_PATH),
                             QStringLiteral("OVREL_TEST_SIGNAL_AT_START"), signal);
  }

  // The JSON result event, the last line of a --json run's output.
  static QJsonObject Result(const Outcome& run) {
    const QStringList lines = run.Out.split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty()) return {};
    const QJsonObject last = QJsonDocument::fromJson(lines.last().toUtf8()).object();
    return last["event"].toString() == "result" ? last : QJsonObject{};
  }
};

// Every signal whose default would end ovrel, arriving before the upload
// watches for signals, stops the upload before it writes: the exit status
// is the signal's and the JSON result says the device is untouched, as the
// emulator's memory shows.
TEST_F(CliEarlySignalTest, AnUploadSignalledAtItsStartReportsAnUntouchedDevice) {
  const Bytes before = LibraryWithSegments(2);
  WriteFile(Path("lib.svl"), LibraryWithSegments(40));
  for (const int signal : {SIGALRM, SIGUSR1, SIGQUIT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    DevSim sim({"--log"}, Padded(before));
    const Outcome stopped = RunSignalledAtStart(
        {"--json", "upload", "--port", QString::fromStdString(sim.path()), "lib.svl"}, signal);
    EXPECT_EQ(stopped.Status, 128 + signal) << stopped.Err.toStdString();
    EXPECT_EQ(sim.memory(), Padded(before));
    EXPECT_EQ(LoggedCommands(sim.log()).find('C'), std::string::npos);
    const QJsonObject result = Result(stopped);
    EXPECT_EQ(result["status"].toInt(), 128 + signal) << stopped.Out.toStdString();
    EXPECT_EQ(result["device"].toString(), "untouched") << stopped.Out.toStdString();
  }
}

// A device command that ends before it would watch for signals (here: no
// library named) still reports the stop instead of its usage error; a
// command that watches no signals is ended by the signal's default, as a
// program that does not handle it is.
TEST_F(CliEarlySignalTest, CommandsThatDoNotReachTheWatchMeetTheSignalAsBefore) {
  WriteFile(Path("lib.svl"), LibraryWithSegments(2));
  const Outcome usage = RunSignalledAtStart({"--json", "upload", "--port", "/nowhere"}, SIGALRM);
  EXPECT_EQ(usage.Status, 128 + SIGALRM) << usage.Err.toStdString();
  EXPECT_EQ(Result(usage)["message"].toString(), "Stopped by SIGALRM.") << usage.Out.toStdString();
  for (const QStringList& args : {QStringList{"info", "lib.svl"}, QStringList{"ports"}}) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const Outcome ended = RunSignalledAtStart(args, SIGUSR1);
    EXPECT_EQ(ended.Status, -1) << ended.Err.toStdString();
  }
}

}  // namespace
}  // namespace ovrel::test
