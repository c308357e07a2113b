// Connect, library Upload and Upload/Add from the main window, against the
// device emulator on its pseudo-terminal.
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <span>
#include <vector>

#include "device/link/DeviceLink.h"
#include "storage/BackupHistory.h"
#include "support/DevSim.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"

namespace ovrel::test {
namespace {

// The empty library, and the library of one session (one segment 36, 10,
// 10, 100, 100), as the compiler makes them.
const QByteArray kEmptyLibrary = QByteArray::fromHex(
    "170000"
    "0413");
const QByteArray kOneSessionLibrary = QByteArray::fromHex(
    "1701000e00060100240a0a646400"
    "3b");
const QByteArray kSessionFile =
    "version=23\r\n#-----\r\n1,0,\r\n36,10,10,100,100,\r\n0,\r\n#-----\r\n";

QByteArray Memory(const DevSim& sim, int size) {
  const std::vector<std::uint8_t> memory = sim.memory();
  return QByteArray(reinterpret_cast<const char*>(memory.data()),
                    std::min<qsizetype>(size, static_cast<qsizetype>(memory.size())));
}

// What the window shows while an operation runs, sampled once from inside it.
struct DuringOperation {
  bool sampled = false;
  bool connect = true, upload = true, uploadAdd = true, portList = true;
  QString panel0;
};

void SampleDuring(MainWindow& f, DuringOperation& during, int afterMs) {
  QTimer::singleShot(afterMs, &f, [&f, &during] {
    during.sampled = true;
    during.connect = Control<QPushButton>(f, "connectButton")->isEnabled();
    during.upload = Control<QPushButton>(f, "uploadLibraryButton")->isEnabled();
    during.uploadAdd = Control<QPushButton>(f, "uploadAddButton")->isEnabled();
    during.portList = Control<PortComboBox>(f, "portComboBox")->isEnabled();
    during.panel0 = f.PanelText(0);
  });
}

// The session editor as the closing sees it: asks while it holds changes
// (the user answers "No") and records how many messages were shown before.
struct UnsavedEditor {
  bool Modified = true;
  std::vector<std::size_t> MessagesBeforeEachQuestion;
  bool CanClose(const ScriptedDialogs& dialogs) {
    if (Modified) MessagesBeforeEachQuestion.push_back(dialogs.MessageTexts().size());
    Modified = false;
    return true;
  }
};

// Leaves each message box open until the device operation has ended, as a
// user who reads it slowly.
class SlowReader : public ScriptedDialogs {
 public:
  std::function<bool()> OperationEnded;
  MsgResult Message(const MessageRequest& request) override {
    if (OperationEnded) {
      EXPECT_TRUE(QTest::qWaitFor(OperationEnded, 20000));
    }
    return ScriptedDialogs::Message(request);
  }
};

class DeviceButtons : public MainWindowFixture {
 protected:
  // Connects to sim (after a port that gives a wrong probe answer).
  void Connect(MainWindow& f) {
    ClickAndWait(f, Control<QPushButton>(f, "connectButton"));
    ASSERT_EQ(f.PanelText(0), QStringLiteral("Sorvani successfully detected"));
  }
  QString Link(const char* name) const { return root + QStringLiteral("/") + QLatin1String(name); }
};

TEST_F(DeviceButtons, ConnectFindsTheDeviceAfterAPortThatDoesNotAnswerRight) {
  DevSim wrong({"--probe-bad", "--link", Link("ttyA").toStdString()});
  DevSim device({"--link", Link("ttyB").toStdString()});
  SetPorts({Link("ttyB"), Link("ttyA")});
  MainWindow& f = MakeForm();
  f.ShowInFront();

  DuringOperation during;
  SampleDuring(f, during, 60);
  ClickAndWait(f, Control<QPushButton>(f, "connectButton"));
  ASSERT_TRUE(during.sampled);
  EXPECT_EQ(during.panel0, QStringLiteral("Autodetecting Sorvani..."));
  EXPECT_FALSE(during.connect);
  EXPECT_FALSE(during.upload);
  EXPECT_FALSE(during.uploadAdd);
  EXPECT_FALSE(during.portList);

  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani successfully detected"));
  EXPECT_EQ(f.PanelText(1), QStringLiteral("Connected"));
  EXPECT_TRUE(Control<QPushButton>(f, "connectButton")->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(f, "uploadLibraryButton")->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(f, "uploadAddButton")->isEnabled());
  EXPECT_TRUE(Control<PortComboBox>(f, "portComboBox")->isEnabled());
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Items(),
            (QStringList{Link("ttyA"), Link("ttyB")}));
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Text(), Link("ttyB"));
  EXPECT_EQ(f.Link().Port(), Link("ttyB"));
  EXPECT_FALSE(f.Link().Line().IsOpen());
  EXPECT_FALSE(Control<QProgressBar>(f, "progressBar")->isVisible());
  EXPECT_TRUE(dialogs.Calls().empty());
}

TEST_F(DeviceButtons, ConnectWithoutAnswerSaysSoAndKeepsTheUploadsDisabled) {
  DevSim wrong({"--probe-bad", "--link", Link("ttyA").toStdString()});
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  dialogs.AnswerButton(MsgResult::Ok);
  ClickAndWait(f, Control<QPushButton>(f, "connectButton"));
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Autodetection of Sorvani failed"));
  EXPECT_EQ(f.PanelText(1), QStringLiteral("Not connected"));
  EXPECT_FALSE(Control<QPushButton>(f, "uploadLibraryButton")->isEnabled());
  EXPECT_FALSE(Control<QPushButton>(f, "uploadAddButton")->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(f, "connectButton")->isEnabled());
  ASSERT_EQ(dialogs.MessageTexts(), QStringList{"Autodetection of Sorvani failed"});
  EXPECT_EQ(dialogs.Calls()[0].Message.Detail, Link("ttyA") + ": no answer from Sorvani");

  SetPorts({});  // no port listed at all
  dialogs.AnswerButton(MsgResult::Ok);
  ClickAndWait(f, Control<QPushButton>(f, "connectButton"));
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Autodetection of Sorvani failed"));
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->count(), 0);
  ASSERT_EQ(dialogs.Calls().size(), 2u);
  EXPECT_TRUE(dialogs.Calls()[1].Message.Detail.contains("connect the device's USB cable"));
  EXPECT_EQ(dialogs.Unexpected(), 0);
}

// The device goes away mid-upload and its port with it: the list follows.
TEST_F(DeviceButtons, APortThatVanishedWithAFailedUploadLeavesTheList) {
  DevSim stays({"--link", Link("ttyB").toStdString()});
  auto device = std::make_unique<DevSim>(
      std::vector<std::string>{"--hangup-after", "3", "--link", Link("ttyA").toStdString()});
  SetPorts({Link("ttyA"), Link("ttyB")});
  MainWindow& f = MakeForm();
  f.ShowInFront();
  Connect(f);
  ASSERT_EQ(f.Link().Port(), Link("ttyA"));
  const QString library = programFolder + QStringLiteral("/Libraries/One.svl");
  WriteFile(library, kOneSessionLibrary);
  dialogs.AnswerPath(library);
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  ASSERT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library upload failed"));
  ASSERT_EQ(device->waitExit(2000), 0);  // its link to the port is gone
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Items(), QStringList{Link("ttyB")});
}

// The commands the emulator received, one letter each (r for a block read).
QString Commands(const DevSim& sim) {
  QString letters;
  for (const QString& line : QString::fromStdString(sim.log()).split(QLatin1Char('\n'))) {
    const QString prefix = QStringLiteral("ovrel-devsim: ");
    if (line.startsWith(prefix) && line.size() > prefix.size()) letters += line[prefix.size()];
  }
  return letters;
}

std::vector<std::uint8_t> Padded(const QByteArray& library) {
  std::vector<std::uint8_t> memory(library.begin(), library.end());
  memory.resize(2048, 0);
  return memory;
}

TEST_F(DeviceButtons, LibraryUploadKeepsWhatItReplacesThenWritesTheSelectedFile) {
  DevSim device({"--log", "--link", Link("ttyA").toStdString()}, Padded(kEmptyLibrary));
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  f.ShowInFront();
  Connect(f);
  const QString library = programFolder + QStringLiteral("/Libraries/One.svl");
  WriteFile(library, kOneSessionLibrary);
  dialogs.AnswerPath(library);
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);

  DuringOperation reading, uploading;
  SampleDuring(f, reading, 150);
  SampleDuring(f, uploading, 1400);  // the read takes 18 steps of 40 ms
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  ASSERT_TRUE(reading.sampled && uploading.sampled);
  EXPECT_EQ(reading.panel0, QStringLiteral("Reading the Sorvani session memory (backup)"));
  EXPECT_EQ(uploading.panel0, QStringLiteral("Uploading Sorvani session library"));
  EXPECT_FALSE(reading.connect || reading.upload || reading.uploadAdd);
  EXPECT_FALSE(uploading.connect || uploading.upload || uploading.uploadAdd);

  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library uploaded successfully"));
  EXPECT_TRUE(Control<QPushButton>(f, "uploadLibraryButton")->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(f, "connectButton")->isEnabled());
  // The whole memory was read and closed before the first write.
  EXPECT_TRUE(Commands(device).endsWith(QStringLiteral("I") + QString(16, QLatin1Char('r')) +
                                        QStringLiteral("OICW") + QString(16, QLatin1Char('D')) +
                                        QStringLiteral("EXO")))
      << Commands(device).toStdString();
  // What it replaced is the newest backup (a backup holds the library's bytes).
  QFile kept(BackupHistory().Newest());
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), kEmptyLibrary);
  QByteArray expected = kOneSessionLibrary;
  expected.append(2048 - expected.size(), '\0');
  EXPECT_EQ(Memory(device, 2048), expected);
  EXPECT_TRUE(dialogs.MessageTexts().isEmpty());
}

TEST_F(DeviceButtons, LibraryUploadWritesNothingWhenWhatItReplacesCannotBeKept) {
  // The read fails: the failure is shown, nothing is written.
  DevSim device({"--log", "--no-reply", "r:3", "--link", Link("ttyA").toStdString()},
                Padded(kEmptyLibrary));
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  Connect(f);
  const QString library = programFolder + QStringLiteral("/Libraries/One.svl");
  WriteFile(library, kOneSessionLibrary);
  dialogs.AnswerPath(library);
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library upload failed"));
  EXPECT_FALSE(Commands(device).contains(QLatin1Char('C'))) << Commands(device).toStdString();

  // The read went through but its backup cannot be kept: the user is asked,
  // and No writes nothing.
  // A file where the history's folder should be.
  QDir().mkpath(QFileInfo(BackupHistory::DefaultFolder()).path());
  QDir(BackupHistory::DefaultFolder()).removeRecursively();
  WriteFile(BackupHistory::DefaultFolder(), QByteArray("in the way"));
  dialogs.AnswerButton(MsgResult::No);
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  ASSERT_EQ(dialogs.Calls().size(), 2u);
  const MessageRequest& question = dialogs.Calls()[1].Message;
  EXPECT_TRUE(question.Text.startsWith(JobTextOf(JobText::BackupFailed)))
      << question.Text.toStdString();
  EXPECT_EQ(question.Buttons, MsgButtons::YesNo);
  EXPECT_FALSE(question.Detail.isEmpty());
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library upload cancelled"));
  EXPECT_FALSE(Commands(device).contains(QLatin1Char('C'))) << Commands(device).toStdString();
  EXPECT_EQ(device.memory(), Padded(kEmptyLibrary));

  // Yes writes all the same.
  dialogs.AnswerButton(MsgResult::Yes);
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  QFile::remove(BackupHistory::DefaultFolder());
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library uploaded successfully"));
  EXPECT_EQ(device.memory(), Padded(kOneSessionLibrary));
  EXPECT_EQ(dialogs.Unexpected(), 0);
}

TEST_F(DeviceButtons, LibraryUploadUsesTheNameTypedInTheEditBox) {
  DevSim device({"--link", Link("ttyA").toStdString()});
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  Connect(f);
  WriteFile(programFolder + QStringLiteral("/Libraries/One.svl"), kOneSessionLibrary);
  WriteFile(programFolder + QStringLiteral("/Libraries/Empty.svl"), kEmptyLibrary);
  dialogs.AnswerPath(programFolder + QStringLiteral("/Libraries/One.svl"));
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  Control<QLineEdit>(f, "libraryFileEdit")->setText(QStringLiteral("Empty.svl"));
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library uploaded successfully"));
  EXPECT_EQ(f.Folders().SelectedLibraryPath(),
            programFolder + QStringLiteral("/Libraries/Empty.svl"));
  EXPECT_EQ(Memory(device, 6), QByteArray::fromHex("170000041300"));
}

TEST_F(DeviceButtons, ChecksumErrorIsAPlainMessageAndAFailedUpload) {
  DevSim device({"--bad-checksum", "--link", Link("ttyA").toStdString()});
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  Connect(f);
  WriteFile(programFolder + QStringLiteral("/Libraries/One.svl"), kOneSessionLibrary);
  dialogs.AnswerPath(programFolder + QStringLiteral("/Libraries/One.svl"));
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  ASSERT_EQ(dialogs.Calls().size(), 2u);
  const MessageRequest& box = dialogs.Calls()[1].Message;
  EXPECT_EQ(box.Text, QStringLiteral("CheckSum Error"));
  EXPECT_EQ(box.Icon, MsgIcon::None);
  EXPECT_EQ(box.Buttons, MsgButtons::Ok);
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library upload failed"));
  EXPECT_EQ(f.PanelText(1), QStringLiteral("Connected"));
}

TEST_F(DeviceButtons, LostDeviceReportsTheConnectionAndKeepsTheButtons) {
  auto device =
      std::make_unique<DevSim>(std::vector<std::string>{"--link", Link("ttyA").toStdString()});
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  Connect(f);
  device.reset();  // the device goes away: its port can no longer be opened
  WriteFile(programFolder + QStringLiteral("/Libraries/One.svl"), kOneSessionLibrary);
  dialogs.AnswerPath(programFolder + QStringLiteral("/Libraries/One.svl"));
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  ClickAndWait(f, Control<QPushButton>(f, "uploadLibraryButton"));
  ASSERT_EQ(dialogs.Calls().size(), 2u);
  const MessageRequest& box = dialogs.Calls()[1].Message;
  EXPECT_EQ(
      box.Text,
      QStringLiteral("Sorvani is disconnected or not turned on. Session Library Upload failed."));
  EXPECT_EQ(box.Icon, MsgIcon::Error);
  EXPECT_FALSE(box.Detail.isEmpty());  // why the port could not be opened
  EXPECT_EQ(f.PanelText(1), QStringLiteral("Not connected"));
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library upload failed"));
  EXPECT_TRUE(Control<QPushButton>(f, "uploadLibraryButton")->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(f, "uploadAddButton")->isEnabled());
}

TEST_F(DeviceButtons, UploadAddMergesTheSessionIntoTheDeviceLibrary) {
  std::vector<std::uint8_t> empty(2048, 0);
  std::copy(kEmptyLibrary.begin(), kEmptyLibrary.end(), empty.begin());
  DevSim device({"--link", Link("ttyA").toStdString()}, empty);
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  f.ShowInFront();
  Connect(f);
  const QString session = programFolder + QStringLiteral("/Sessions/Relax.svs");
  WriteFile(session, kSessionFile);
  dialogs.AnswerPath(session);
  QTest::mouseClick(Control<QPushButton>(f, "selectSessionButton"), Qt::LeftButton);

  DuringOperation during;
  SampleDuring(f, during, 300);
  bool progressSeen = false;
  QTimer progressProbe;
  QObject::connect(&progressProbe, &QTimer::timeout, [&] {
    progressSeen = progressSeen || (Control<QProgressBar>(f, "progressBar")->isVisible() &&
                                    Control<QProgressBar>(f, "progressBar")->value() > 0);
  });
  progressProbe.start(20);
  ClickAndWait(f, Control<QPushButton>(f, "uploadAddButton"));
  progressProbe.stop();
  ASSERT_TRUE(during.sampled);
  EXPECT_EQ(during.panel0, QStringLiteral("Uploading/adding single session to Sorvani"));
  EXPECT_FALSE(during.uploadAdd);
  EXPECT_FALSE(during.upload);
  EXPECT_FALSE(during.connect);
  EXPECT_TRUE(progressSeen);

  EXPECT_EQ(f.PanelText(0), QStringLiteral("Single session uploaded to Sorvani successfully"));
  EXPECT_EQ(Memory(device, 15), kOneSessionLibrary);
  // The working files land in the program folder, the current directory.
  QFile merged(programFolder + QStringLiteral("/TempSesLib.svl"));
  ASSERT_TRUE(merged.open(QIODevice::ReadOnly));
  EXPECT_EQ(merged.readAll(), kOneSessionLibrary);
  EXPECT_TRUE(QFile::exists(programFolder + QStringLiteral("/SVPMemImg.svl")));
  EXPECT_TRUE(Control<QPushButton>(f, "uploadAddButton")->isEnabled());
  EXPECT_FALSE(Control<QProgressBar>(f, "progressBar")->isVisible());
}

// Closing the window while an operation runs: unsaved work is asked about
// first, the user is told, and the window closes once the operation has
// ended, never in the middle of it.
TEST_F(DeviceButtons, ClosingDuringAnUploadClosesWhenItHasEnded) {
  DevSim device({"--link", Link("ttyA").toStdString()});
  SetPorts({Link("ttyA")});
  MainWindow& f = MakeForm();
  f.ShowInFront();
  Connect(f);
  WriteFile(programFolder + QStringLiteral("/Libraries/One.svl"), kOneSessionLibrary);
  dialogs.AnswerPath(programFolder + QStringLiteral("/Libraries/One.svl"));
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  UnsavedEditor editor;
  f.SetCanCloseApplication([&] { return editor.CanClose(dialogs); });
  QSignalSpy closed(&f, &MainWindow::Closed);
  dialogs.Clear();
  dialogs.AnswerButton(MsgResult::Ok);
  bool closedDuring = true;
  QTimer::singleShot(150, &f, [&] {
    f.close();
    closedDuring = closed.count() > 0 || !f.isVisible();
    // The user goes on editing while the operation runs.
    editor.Modified = true;
  });
  QTest::mouseClick(Control<QPushButton>(f, "uploadLibraryButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 20000));
  EXPECT_FALSE(closedDuring);
  // Asked before the message, and again for the edits made while waiting.
  EXPECT_EQ(editor.MessagesBeforeEachQuestion, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(dialogs.MessageTexts(),
            QStringList{"The program will close when the device operation has ended."});
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library uploaded successfully"));
  EXPECT_FALSE(f.isVisible());
  QByteArray expected = kOneSessionLibrary;
  expected.append(2048 - expected.size(), '\0');
  EXPECT_EQ(Memory(device, 2048), expected);
}

// The message is still open when the operation ends: the window closes once
// it has been answered (the editor's Exit closes the window the same way).
TEST_F(DeviceButtons, ClosingWhoseMessageIsReadPastTheOperationClosesAfterIt) {
  DevSim device({"--link", Link("ttyA").toStdString()});
  SetPorts({Link("ttyA")});
  SlowReader reader;
  MainWindowOptions options;
  options.ProgramFile = programFolder + QStringLiteral("/ovrelware");
  form = std::make_unique<MainWindow>(reader, MakeDevice(), options);
  MainWindow& f = *form;
  f.ShowInFront();
  Connect(f);
  WriteFile(programFolder + QStringLiteral("/Libraries/One.svl"), kOneSessionLibrary);
  reader.AnswerPath(programFolder + QStringLiteral("/Libraries/One.svl"));
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  UnsavedEditor editor;
  f.SetCanCloseApplication([&] { return editor.CanClose(reader); });
  QSignalSpy closed(&f, &MainWindow::Closed);
  reader.Clear();
  reader.AnswerButton(MsgResult::Ok);
  reader.OperationEnded = [&] { return !f.Link().Busy(); };
  QTimer::singleShot(150, &f, [&] { f.close(); });
  QTest::mouseClick(Control<QPushButton>(f, "uploadLibraryButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 20000));
  EXPECT_EQ(editor.MessagesBeforeEachQuestion, std::vector<std::size_t>{0});
  EXPECT_EQ(reader.MessageTexts(),
            QStringList{"The program will close when the device operation has ended."});
  EXPECT_FALSE(f.isVisible());
  QByteArray expected = kOneSessionLibrary;
  expected.append(2048 - expected.size(), '\0');
  EXPECT_EQ(Memory(device, 2048), expected);
}

}  // namespace
}  // namespace ovrel::test
