// Faults around the device operations rather than inside one exchange: a
// second operation requested while one runs, the device pulled out during
// the pause before the merged upload, and a port that disappears between
// the refresh of the port list and its probe.

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "device/jobs/DeviceJobs.h"
#include "device/link/DeviceLink.h"
#include "device/serial/SerialPort.h"
#include "support/DevSim.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/device/LinkTestSupport.h"
#include "tests/faults/FaultCell.h"

namespace ovrel::test {
namespace {

const QByteArray kOneSessionLibrary = QByteArray::fromHex("1701000e00060100240a0a6464003b");
// The one-session library with the same session added once more.
const QByteArray kTwoSessionLibrary =
    QByteArray::fromHex("1702001800080010010024 0a0a646400 0100240a0a646400 15");

class FaultRace : public MainWindowFixture {
 protected:
  MainWindow& MakeWindow(const LinkTiming& timing) {
    MainWindowOptions options;
    options.ProgramFile = programFolder + QStringLiteral("/ovrelware");
    form = std::make_unique<MainWindow>(dialogs, MakeDevice(timing), options);
    return *form;
  }
  QString Port() const { return root + QStringLiteral("/ttyRace"); }
  QString SessionFile() {
    const QString path = programFolder + QStringLiteral("/Sessions/One.svs");
    WriteFile(path, kOneSegmentSession);
    return path;
  }
};

TEST_F(FaultRace, ASecondOperationDuringAnUploadIsQueuedNeverInterleaved) {
  DevSim device({"--log", "--link", Port().toStdString()});
  MainWindow& f = MakeWindow(LinkTiming{}.Scaled(0.2));
  f.Link().SetPort(Port());
  f.Folders().SetSelectedLibraryPath(programFolder + QStringLiteral("/Libraries/One.svl"));
  WriteFile(f.Folders().SelectedLibraryPath(), kOneSessionLibrary);
  Control<QLineEdit>(f, "libraryFileEdit")->setText(QStringLiteral("One.svl"));
  const QString session = SessionFile();

  // During the upload the buttons are disabled, and a remote-style request
  // waits for the upload to end.
  bool requested = false, buttonsOff = false;
  std::optional<bool> queuedResult;
  std::string logWhenQueuedStarted;
  QTimer::singleShot(150, &f, [&] {
    requested = true;
    buttonsOff = !Control<QPushButton>(f, "uploadLibraryButton")->isEnabled() &&
                 !Control<QPushButton>(f, "uploadAddButton")->isEnabled() &&
                 !Control<QPushButton>(f, "connectButton")->isEnabled();
    f.Device().AfterQueued([&] { logWhenQueuedStarted = LoggedCommands(device.log()); });
    f.Device().Add(session, WriteOptions{}, [&](const JobResult& r) { queuedResult = r.Ok(); });
  });
  QMetaObject::invokeMethod(&f, "onUploadLibraryClicked");
  QTRY_VERIFY_WITH_TIMEOUT(queuedResult.has_value(), 15000);
  ASSERT_TRUE(requested);
  EXPECT_TRUE(buttonsOff);
  // The status line tells the job that ended last, whoever started it.
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Single session uploaded to Sorvani successfully"));
  EXPECT_EQ(logWhenQueuedStarted, Commands(Operation::LibraryUpload));
  EXPECT_TRUE(*queuedResult);

  // The emulator saw one whole upload, then one whole single-session upload.
  EXPECT_EQ(LoggedCommands(device.log()),
            Commands(Operation::LibraryUpload) + Commands(Operation::AddSession));
  const Bytes memory = device.memory();
  EXPECT_EQ(Bytes(memory.begin(), memory.begin() + kTwoSessionLibrary.size()),
            Bytes(kTwoSessionLibrary.begin(), kTwoSessionLibrary.end()));
}

TEST_F(FaultRace, DevicePulledOutDuringThePauseBeforeTheMergedUpload) {
  Bytes empty = Padded({0x17, 0x00, 0x00, 0x04, 0x13});
  auto device = std::make_unique<DevSim>(
      std::vector<std::string>{"--log", "--link", Port().toStdString()}, empty);
  // A 695 ms pause: long enough to pull the device out in the middle of it.
  LinkTiming timing = LinkTiming{}.Scaled(0.2);
  timing.PreUploadPause = LinkTiming{}.PreUploadPause / 10;
  MainWindow& f = MakeWindow(timing);
  f.Link().SetPort(Port());
  f.Folders().SetSelectedSessionPath(SessionFile());
  Control<QLineEdit>(f, "sessionFileEdit")->setText(QStringLiteral("One.svs"));

  // Once the download's 17 commands are in, the device goes away.
  std::string logAtPullOut;
  QTimer watch;
  watch.setInterval(5);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!device || LoggedCommands(device->log()).size() < kDownloadExchanges) return;
    QTest::qWait(50);  // well inside the pause
    logAtPullOut = device->log();
    device.reset();
    watch.stop();
  });
  watch.start();
  QMetaObject::invokeMethod(&f, "onUploadAddClicked");
  WaitUntilIdle(f);
  watch.stop();

  ASSERT_FALSE(device) << "the device was not pulled out";
  EXPECT_EQ(LoggedCommands(logAtPullOut), "I" + std::string(16, 'r'));
  // The upload cannot open the port: the message box and both panels say so.
  ASSERT_EQ(dialogs.MessageTexts().size(), 1);
  EXPECT_EQ(
      dialogs.MessageTexts()[0],
      QStringLiteral("Sorvani is disconnected or not turned on. Session Library Upload failed."));
  EXPECT_EQ(f.PanelText(1), QStringLiteral("Not connected"));
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Single session upload to Sorvani failed"));
  EXPECT_FALSE(f.Link().Line().IsOpen());
  // The merged library is kept for the user, whole.
  EXPECT_EQ(ReadFile(programFolder + QStringLiteral("/TempSesLib.svl")),
            Bytes(kOneSessionLibrary.begin(), kOneSessionLibrary.end()));
  EXPECT_EQ(ReadFile(programFolder + QStringLiteral("/SVPMemImg.svl")), empty);
}

// A LinkUi that runs an action when the port list has been refreshed.
class ListedHookUi : public RecordingUi {
 public:
  void PortsListed(const QStringList& ports) override {
    RecordingUi::PortsListed(ports);
    if (OnListed) OnListed();
  }
  std::function<void()> OnListed;
};

TEST_F(FaultRace, APortThatDisappearsAfterTheRefreshIsSkipped) {
  const QString gone = root + QStringLiteral("/ttyGone");
  const QString there = root + QStringLiteral("/ttyThere");
  auto vanishing =
      std::make_unique<DevSim>(std::vector<std::string>{"--log", "--link", gone.toStdString()});
  DevSim device({"--log", "--link", there.toStdString()});
  SetPorts({gone, there});

  SerialPort port;
  ListedHookUi ui;
  ui.OnListed = [&] { vanishing.reset(); };
  DeviceLink link(port, ui, LinkTiming{}.Scaled(0.2));
  DeviceJobs jobs(link);
  const JobResult found = RunToEnd([&](DeviceJobs::Done done) { jobs.Connect(done); });
  EXPECT_TRUE(found.Ok());
  EXPECT_TRUE(found.Notes.empty());
  EXPECT_FALSE(vanishing);
  EXPECT_EQ(ui.Ports, (QStringList{gone, there}));
  EXPECT_EQ(ui.Probed, (std::vector<int>{0, 1}));
  EXPECT_EQ(found.Port, there);
  EXPECT_EQ(link.Port(), there);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(LoggedCommands(device.log()), "S");
}

}  // namespace
}  // namespace ovrel::test
