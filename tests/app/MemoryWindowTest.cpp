// The memory window, opened from the main window's Memory button against the
// device emulator: the sessions listed, one removed, one moved, written back.

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <optional>

#include "app/PortComboBox.h"
#include "device/jobs/DeviceJobs.h"
#include "device/jobs/DeviceService.h"
#include "editor/SessionEditorWindow.h"
#include "library/LibraryEdit.h"
#include "library/SessionScan.h"
#include "memory/MemoryWindow.h"
#include "storage/BackupHistory.h"
#include "support/DevSim.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"
#include "ui/QtDialogs.h"

namespace ovrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<SessionRecord> kThree = {
    {2, 0, {{36, 10, 10, 100, 100}, {36, 10, 10, 100, 100}}},
    {7, 30, {{72, 12, 20, 44, 44}, {87, 140, 148, 44, 200}, {150, 5, 5, 48, 48}}},
    {0, 15, {{33, 48, 1, 200, 200}}},
};

// Picks the first port of the list, as the user does (no autodetection).
void PickPort(MainWindow& f) {
  auto* ports = Control<PortComboBox>(f, "portComboBox");
  ports->SetItemIndex(0);
  emit ports->activated(0);
}

Bytes Padded(std::vector<SessionRecord> sessions) {
  Bytes image = BuildLibraryImage(sessions).value_or(Bytes{});
  image.resize(SesMemSize, 0);
  return image;
}

// With a backup history of its own.
class MemoryWindowTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    savedDataHome_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit());
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    qputenv("XDG_DATA_HOME", savedDataHome_);
  }

 private:
  QByteArray savedDataHome_;
};

TEST_F(MemoryWindowTest, ListsRemovesMovesAndWritesTheDeviceSessions) {
  DevSim sim({"--link", (root + "/ttyM").toStdString()}, Padded(kThree));
  SetPorts({root + "/ttyM"});
  WriteFile(programFolder + "/Sessions/warm-up.svs",
            "version=23\r\n2,0,\r\n36,10,10,100,100,\r\n36,10,10,100,100,\r\n0,\r\n");
  MainWindow& f = MakeForm();
  f.ShowInFront();

  // The button sits beside Connect, clear of every other control.
  QPushButton* memory = Control<QPushButton>(f, "memoryButton");
  ASSERT_TRUE(memory);
  EXPECT_EQ(memory->geometry(), QRect(96, 56, 49, 25));
  EXPECT_EQ(memory->text(), QStringLiteral("Memory"));
  for (QWidget* other : f.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (other == memory || !other->isVisible() || other->isWindow()) continue;
    EXPECT_FALSE(other->geometry().intersects(memory->geometry()))
        << other->objectName().toStdString();
  }

  ClickAndWait(f, Control<QPushButton>(f, "connectButton"));
  ClickAndWait(f, memory);
  auto* window = f.findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Sorvani Memory"));
  auto* table = Control<QTableWidget>(*window, "sessionTable");
  ASSERT_EQ(table->rowCount(), 3);
  const auto cell = [&](int row, int column) { return table->item(row, column)->text(); };
  EXPECT_EQ(cell(0, 1), "2:00");
  EXPECT_EQ(cell(0, 5), "warm-up.svs");
  EXPECT_EQ(cell(1, 1), "7:30");
  EXPECT_EQ(cell(1, 2), "3");
  EXPECT_EQ(cell(1, 3), "FB, LA");
  EXPECT_EQ(cell(1, 4), "5-20 Hz");
  EXPECT_EQ(cell(1, 5), "-");
  EXPECT_EQ(Control<QLabel>(*window, "availableMemoryLabel")->text(), "Available memory: 98%");
  // The memory as it was read is in the backup history.
  const QStringList backups = BackupHistory().Files();
  ASSERT_EQ(backups.size(), 1);
  QFile kept(backups.front());
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  const Bytes old = BuildLibraryImage(kThree).value_or(Bytes{});
  EXPECT_EQ(kept.readAll(), QByteArray(reinterpret_cast<const char*>(old.data()),
                                       static_cast<qsizetype>(old.size())));

  // Nothing is written until the user says so.
  table->selectRow(0);
  EXPECT_FALSE(Control<QLabel>(*window, "pictureLabel")->pixmap().isNull());
  QTest::mouseClick(Control<QPushButton>(*window, "removeButton"), Qt::LeftButton);
  ASSERT_EQ(table->rowCount(), 2);
  table->selectRow(1);
  QTest::mouseClick(Control<QPushButton>(*window, "moveUpButton"), Qt::LeftButton);
  EXPECT_EQ(cell(0, 1), "0:15");
  EXPECT_EQ(Control<QLabel>(*window, "availableMemoryLabel")->text(), "Available memory: 98%");
  EXPECT_EQ(sim.memory(), Padded(kThree));

  // Closing with unwritten changes asks; "No" keeps the window and the changes.
  dialogs.AnswerButton(MsgResult::No);
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->Changed());

  ClickAndWait(f, Control<QPushButton>(*window, "writeButton"));
  EXPECT_EQ(sim.memory(), Padded({kThree[2], kThree[1]}));
  EXPECT_FALSE(window->Changed());
  EXPECT_TRUE(
      Control<QLabel>(*window, "statusLabel")->text().startsWith("Written to Sorvani and verified"))
      << Control<QLabel>(*window, "statusLabel")->text().toStdString();
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(dialogs.AllAnswersUsed());
  EXPECT_EQ(dialogs.MessageTexts().size(), 1);
  // The write kept what it replaced, as kept before an edit; the read-back
  // is no backup.
  const QStringList after = BackupHistory().Files();
  ASSERT_EQ(after.size(), backups.size() + 1);
  EXPECT_EQ(BackupHistory::ReasonOf(after.last()), BackupReason::BeforeEdit);
  QFile replaced(after.last());
  ASSERT_TRUE(replaced.open(QIODevice::ReadOnly));
  EXPECT_EQ(replaced.readAll(), QByteArray(reinterpret_cast<const char*>(old.data()),
                                           static_cast<qsizetype>(old.size())));
}

// A session added from the main window after the Memory window read the
// device must survive a "Write to Sorvani" of the list read before it: the
// write finds another memory than was read, writes nothing and says why.
// A remote add queued while the window writes keeps its own backup.
TEST_F(MemoryWindowTest, AWriteOverAMemoryThatChangedSinceItWasReadWritesNothing) {
  DevSim sim({"--link", (root + "/ttyM").toStdString()}, Padded(kThree));
  SetPorts({root + "/ttyM"});
  const QString calm = programFolder + "/Sessions/calm.svs";
  WriteFile(calm, "version=23\r\n1,0,\r\n33,48,1,200,200,\r\n0,\r\n");
  MainWindow& f = MakeForm();
  f.ShowInFront();
  ClickAndWait(f, Control<QPushButton>(f, "connectButton"));
  ClickAndWait(f, Control<QPushButton>(f, "memoryButton"));
  auto* window = f.findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(window);
  auto* table = Control<QTableWidget>(*window, "sessionTable");
  table->selectRow(0);
  QTest::mouseClick(Control<QPushButton>(*window, "removeButton"), Qt::LeftButton);
  ASSERT_EQ(table->rowCount(), 2);

  // The add goes through; the window, asked whether to drop its changes
  // for what the device now holds, keeps them.
  dialogs.AnswerPath(calm);
  QTest::mouseClick(Control<QPushButton>(f, "selectSessionButton"), Qt::LeftButton);
  dialogs.AnswerButton(MsgResult::No);
  ClickAndWait(f, Control<QPushButton>(f, "uploadAddButton"));
  ASSERT_EQ(f.PanelText(0), QStringLiteral("Single session uploaded to Sorvani successfully"));
  const Bytes added = sim.memory();
  ASSERT_EQ(added[1], 4);  // four sessions
  ASSERT_EQ(table->rowCount(), 2);

  // "Write to Sorvani" writes nothing, says why and offers what the device
  // holds; No keeps the list as it is.
  dialogs.AnswerButton(MsgResult::No);
  ClickAndWait(f, Control<QPushButton>(*window, "writeButton"));
  EXPECT_EQ(sim.memory(), added);
  const QString status = Control<QLabel>(*window, "statusLabel")->text();
  EXPECT_TRUE(status.contains("changed since it was read")) << status.toStdString();
  EXPECT_TRUE(dialogs.MessageTexts().last().contains("changed since it was read"))
      << dialogs.MessageTexts().last().toStdString();
  EXPECT_TRUE(window->Changed());
  EXPECT_EQ(table->rowCount(), 2);

  // Yes shows the four sessions the device holds, and a write from there
  // goes through. A remote add queued while it writes waits for it, then
  // keeps what it replaces.
  dialogs.AnswerButton(MsgResult::Yes);
  ClickAndWait(f, Control<QPushButton>(*window, "writeButton"));
  ASSERT_EQ(table->rowCount(), 4);
  EXPECT_FALSE(window->Changed());
  table->selectRow(3);
  QTest::mouseClick(Control<QPushButton>(*window, "removeButton"), Qt::LeftButton);
  std::optional<JobResult> remote;
  QTimer::singleShot(50, [&] {
    WriteOptions options;  // as the remote control starts its adds
    f.Device().Add(calm, options, [&](const JobResult& r) { remote = r; });
  });
  QTest::mouseClick(Control<QPushButton>(*window, "writeButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return remote.has_value(); }, 60000));
  EXPECT_TRUE(Control<QLabel>(*window, "statusLabel")->text().startsWith("Written to Sorvani"))
      << Control<QLabel>(*window, "statusLabel")->text().toStdString();
  ASSERT_TRUE(remote->Ok()) << remote->Reason().toStdString();
  // The add's backup is the three sessions the window wrote.
  ASSERT_FALSE(remote->BackupPath.isEmpty());
  EXPECT_EQ(remote->BackupPath, BackupHistory().Newest());
  QFile kept(remote->BackupPath);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  const Bytes written = BuildLibraryImage(window->Sessions()).value_or(Bytes{});
  EXPECT_EQ(kept.readAll(), QByteArray(reinterpret_cast<const char*>(written.data()),
                                       static_cast<qsizetype>(written.size())));
  EXPECT_EQ(sim.memory()[1], 4);
}

TEST_F(MemoryWindowTest, EditsALibraryFileWithoutTouchingIt) {
  MainWindow& f = MakeForm();
  MemoryWindow window(f.Folders(), dialogs, f.Device(), {});
  auto* table = Control<QTableWidget>(window, "sessionTable");
  const Bytes three = BuildLibraryImage(kThree).value_or(Bytes{});
  const auto bytes = [](const Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
  };
  Bytes broken = three;
  broken.back() ^= 1;  // the checksum no longer matches
  WriteFile(root + "/broken.svl", bytes(broken));
  dialogs.AnswerButton(MsgResult::Ok);
  EXPECT_FALSE(window.OpenLibrary(root + "/broken.svl"));
  ASSERT_EQ(dialogs.MessageTexts().size(), 1);
  EXPECT_TRUE(dialogs.MessageTexts()[0].contains("holds no valid session library"));
  EXPECT_EQ(table->rowCount(), 0);

  WriteFile(root + "/three.svl", bytes(three));
  ASSERT_TRUE(window.OpenLibrary(root + "/three.svl"));
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_FALSE(Control<QPushButton>(window, "writeButton")->isEnabled());  // no device read
  table->selectRow(1);
  QTest::mouseClick(Control<QPushButton>(window, "removeButton"), Qt::LeftButton);
  dialogs.AnswerPath(root + "/two.svl");
  QTest::mouseClick(Control<QPushButton>(window, "saveLibraryButton"), Qt::LeftButton);
  QFile two(root + "/two.svl");
  ASSERT_TRUE(two.open(QIODevice::ReadOnly));
  EXPECT_EQ(
      two.readAll(),
      bytes(BuildLibraryImage(std::vector<SessionRecord>{kThree[0], kThree[2]}).value_or(Bytes{})));
  QFile kept(root + "/three.svl");
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), bytes(three));
  EXPECT_FALSE(window.Changed());
  EXPECT_TRUE(dialogs.AllAnswersUsed());
}

// Closing the program with an imported session never saved and a changed
// library: "No" to one question leaves the other document as it was, and
// every close asks about each again until the program ends.
TEST_F(MemoryWindowTest, ARefusedCloseLeavesEveryDocumentAsItWas) {
  MainWindow& f = MakeForm();
  f.ShowInFront();
  SessionEditorWindow editor(f.Folders(), dialogs, [] {});
  f.SetCanCloseApplication([&] { return editor.CanCloseApplication(); },
                           [&] { editor.CloseRefused(); });
  editor.show();
  WriteFile(root + "/Evening.sbg", "a: 200+8/50\nNOW a\n+00:02 a\n");
  dialogs.AnswerNumber(30);  // how long the schedule's last tone-set plays on
  editor.OpenSessionFile(root + "/Evening.sbg");
  ASSERT_TRUE(editor.Document().Modified());
  QTest::mouseClick(Control<QPushButton>(f, "memoryButton"), Qt::LeftButton);
  auto* memory = f.findChild<MemoryWindow*>();
  ASSERT_NE(memory, nullptr);
  const Bytes three = BuildLibraryImage(kThree).value_or(Bytes{});
  WriteFile(root + "/three.svl", QByteArray(reinterpret_cast<const char*>(three.data()),
                                            static_cast<qsizetype>(three.size())));
  ASSERT_TRUE(memory->OpenLibrary(root + "/three.svl"));
  Control<QTableWidget>(*memory, "sessionTable")->selectRow(1);
  QTest::mouseClick(Control<QPushButton>(*memory, "removeButton"), Qt::LeftButton);
  ASSERT_TRUE(memory->Changed());
  QSignalSpy closed(&f, &MainWindow::Closed);
  const QString editorQuestion = "Session has been modified. Save it before exit?";
  const QString memoryQuestion = "The library was changed but not saved. Discard the changes?";

  struct Round {
    MsgResult editorAnswer, memoryAnswer;
    bool ends;
  };
  for (const Round& round :
       {Round{MsgResult::No, MsgResult::No, false}, Round{MsgResult::No, MsgResult::No, false},
        Round{MsgResult::No, MsgResult::Yes, true}}) {
    dialogs.Clear();
    dialogs.AnswerButton(round.editorAnswer);
    dialogs.AnswerButton(round.memoryAnswer);
    EXPECT_EQ(f.close(), round.ends);
    EXPECT_EQ(dialogs.MessageTexts(), (QStringList{editorQuestion, memoryQuestion}));
    EXPECT_EQ(dialogs.Unexpected(), 0);
    if (round.ends) break;
    EXPECT_TRUE(editor.Document().Modified());
    EXPECT_TRUE(editor.isWindowModified());
    EXPECT_TRUE(memory->Changed());
    EXPECT_EQ(memory->Sessions().size(), 2u);
  }
  EXPECT_EQ(closed.count(), 1);
}

// The keys of a list, and the columns keeping the widths the user gave them.
TEST_F(MemoryWindowTest, DeleteRemovesAndCtrlArrowsMoveTheSelectedSession) {
  MainWindow& f = MakeForm();
  MemoryWindow window(f.Folders(), dialogs, f.Device(), {});
  const Bytes three = BuildLibraryImage(kThree).value_or(Bytes{});
  WriteFile(root + "/three.svl", QByteArray(reinterpret_cast<const char*>(three.data()),
                                            static_cast<qsizetype>(three.size())));
  ASSERT_TRUE(window.OpenLibrary(root + "/three.svl"));
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto* table = Control<QTableWidget>(window, "sessionTable");
  table->setColumnWidth(1, 150);
  table->setFocus();
  table->selectRow(0);
  QTest::keyClick(table, Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(window.Sessions(), (std::vector<SessionRecord>{kThree[1], kThree[0], kThree[2]}));
  QTest::keyClick(table, Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(window.Sessions(), kThree);
  table->clearSelection();
  table->selectRow(1);
  QTest::keyClick(table, Qt::Key_Delete);
  EXPECT_EQ(window.Sessions(), (std::vector<SessionRecord>{kThree[0], kThree[2]}));
  EXPECT_EQ(table->columnWidth(1), 150);
  EXPECT_TRUE(window.Changed());
}

// A long session file name stays whole on one line in a narrow window,
// also after a session is added.
TEST_F(MemoryWindowTest, TheSessionFileColumnKeepsLongNamesWhole) {
  MainWindow& f = MakeForm();
  MemoryWindow window(f.Folders(), dialogs, f.Device(), {});
  const QString name = "An evening session with a rather long file name.svs";
  WriteFile(f.Folders().SessionsFolder() + "/" + name,
            "version=23\r\n1,0,\r\n40,10,10,100,100,\r\n0,\r\n");
  const Bytes three = BuildLibraryImage(kThree).value_or(Bytes{});
  WriteFile(root + "/three.svl", QByteArray(reinterpret_cast<const char*>(three.data()),
                                            static_cast<qsizetype>(three.size())));
  ASSERT_TRUE(window.OpenLibrary(root + "/three.svl"));
  window.resize(window.minimumSizeHint().width(), window.height());
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto* table = Control<QTableWidget>(window, "sessionTable");
  dialogs.AnswerPath(f.Folders().SessionsFolder() + "/" + name);
  QTest::mouseClick(Control<QPushButton>(window, "addButton"), Qt::LeftButton);
  ASSERT_EQ(table->rowCount(), 4);
  ASSERT_EQ(table->item(3, 5)->text(), name);
  QCoreApplication::processEvents();
  EXPECT_FALSE(table->wordWrap());
  EXPECT_GE(table->columnWidth(5), QFontMetrics(table->font()).horizontalAdvance(name));
}

// A session longer than 255 minutes is added after a warning of how the
// device will show it.
TEST_F(MemoryWindowTest, AddingASessionOverTwoHundredFiftyFiveMinutesWarnsAndAddsIt) {
  MainWindow& f = MakeForm();
  MemoryWindow window(f.Folders(), dialogs, f.Device(), {});
  WriteFile(root + "/long.svs", "version=23\r\n300,0,\r\n36,10,10,100,100,\r\n0,\r\n");
  dialogs.AnswerPath(root + "/long.svs");
  dialogs.AnswerButton(MsgResult::Ok);
  QTest::mouseClick(Control<QPushButton>(window, "addButton"), Qt::LeftButton);
  ASSERT_EQ(window.Sessions().size(), 1u);
  EXPECT_EQ(window.Sessions()[0].Minutes, 300 - 256);
  ASSERT_EQ(dialogs.Calls().size(), 2u);
  EXPECT_EQ(dialogs.Calls()[1].Message.Icon, MsgIcon::Warning);
  EXPECT_TRUE(dialogs.Calls()[1].Message.Text.endsWith("so it will show 44:00."))
      << dialogs.Calls()[1].Message.Text.toStdString();
}

// Extract... in the real save dialog asks before it replaces a session file;
// the file it writes is named as the match at once.
TEST_F(MemoryWindowTest, ExtractAsksBeforeReplacingAFileAndNamesTheNewMatch) {
  const QString focus = programFolder + "/Sessions/focus.svs";
  const QByteArray focusText =
      "version=23\r\n2,0,\r\n36,10,10,100,100,\r\n36,10,10,100,100,\r\n0,\r\n";
  WriteFile(focus, focusText);
  MainWindow& f = MakeForm();
  QtDialogs qtDialogs;
  MemoryWindow window(f.Folders(), qtDialogs, f.Device(), {});
  const Bytes three = BuildLibraryImage(kThree).value_or(Bytes{});
  WriteFile(root + "/three.svl", QByteArray(reinterpret_cast<const char*>(three.data()),
                                            static_cast<qsizetype>(three.size())));
  ASSERT_TRUE(window.OpenLibrary(root + "/three.svl"));
  window.show();
  auto* table = Control<QTableWidget>(window, "sessionTable");
  EXPECT_EQ(table->item(0, 5)->text(), "focus.svs");

  // Runs the dialogs as a user would: the file dialog gets the existing
  // name, its question is answered, then the file dialog is left.
  const auto extract = [&](QMessageBox::StandardButton answer) {
    QStringList questions;
    int step = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        if (step == 0) {
          step = 1;
          dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText("focus.svs");
          QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        } else if (step == 2) {
          step = 3;
          dialog->reject();  // the question said No: the dialog stays, and is left
        }
      } else if (auto* box = qobject_cast<QMessageBox*>(modal); box && step == 1) {
        questions << box->text();
        step = answer == QMessageBox::No ? 2 : 3;
        box->button(answer)->click();
      } else if (modal && ++step > 500) {
        modal->close();  // something else opened: fail, never wait for ever
      }
    });
    user.start(20);
    table->selectRow(1);
    QTest::mouseClick(Control<QPushButton>(window, "extractButton"), Qt::LeftButton);
    return questions;
  };
  const QStringList asked = extract(QMessageBox::No);
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].contains("focus.svs")) << asked[0].toStdString();
  QFile kept(focus);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), focusText);
  kept.close();

  EXPECT_EQ(extract(QMessageBox::Yes).size(), 1);
  const SessionScanRead now = ScanSessionFile(focus.toStdString());
  ASSERT_TRUE(now) << now.Error();
  EXPECT_EQ(now->Record(), kThree[1]);
  EXPECT_EQ(table->item(0, 5)->text(), "-");
  EXPECT_EQ(table->item(1, 5)->text(), "focus.svs");
}

// "Write to Sorvani" runs to its end: the window cannot be closed meanwhile;
// and it says "verified" only when the memory read back is what it wrote.
TEST_F(MemoryWindowTest, AWriteCannotBeClosedAndIsVerifiedByWhatWasReadBack) {
  // The device keeps one byte of the written memory inverted (past the
  // library, so the upload's checksum still matches).
  DevSim sim({"--link", (root + "/ttyM").toStdString(), "--flip-byte", "2000"}, Padded(kThree));
  SetPorts({root + "/ttyM"});
  MainWindow& f = MakeForm();
  f.ShowInFront();
  ClickAndWait(f, Control<QPushButton>(f, "connectButton"));
  ClickAndWait(f, Control<QPushButton>(f, "memoryButton"));
  auto* window = f.findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(window);
  auto* table = Control<QTableWidget>(*window, "sessionTable");
  ASSERT_EQ(table->rowCount(), 3);
  table->selectRow(0);
  QTest::mouseClick(Control<QPushButton>(*window, "removeButton"), Qt::LeftButton);

  dialogs.Clear();
  QTest::mouseClick(Control<QPushButton>(*window, "writeButton"), Qt::LeftButton);
  ASSERT_TRUE(window->Writing());
  dialogs.AnswerButton(MsgResult::Yes);  // were the changes asked about, they would go
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(dialogs.Calls().empty());
  dialogs.Clear();
  dialogs.AnswerButton(MsgResult::No);  // not restored
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Writing(); }, 60000));
  WaitUntilIdle(f);

  const QString status = Control<QLabel>(*window, "statusLabel")->text();
  EXPECT_FALSE(status.contains("verified")) << status.toStdString();
  EXPECT_TRUE(window->Changed());  // not written as it was meant
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  EXPECT_EQ(dialogs.Calls()[0].Message.Icon, MsgIcon::Error);
  EXPECT_TRUE(dialogs.Calls()[0].Message.Text.contains("other bytes than were written"));
  EXPECT_FALSE(Control<QLabel>(*window, "sourceLabel")->text().contains("read at"));
  // The main window's status line follows the window's write, in the
  // window's words.
  EXPECT_EQ(status, QStringLiteral("Verification failed"));
  EXPECT_EQ(f.PanelText(0), status);
  EXPECT_EQ(f.PanelText(1), QStringLiteral("Connected"));
}

// A write that fails half-way says so in a box: what failed, what the device
// may hold, where the memory it replaced was kept; "Yes" restores that.
TEST_F(MemoryWindowTest, AFailedWriteOffersToRestoreTheMemoryItReplaced) {
  DevSim sim({"--link", (root + "/ttyM").toStdString(), "--no-reply", "D:3"}, Padded(kThree));
  SetPorts({root + "/ttyM"});
  MainWindow& f = MakeForm();
  f.ShowInFront();
  PickPort(f);
  auto* memory = Control<QPushButton>(f, "memoryButton");
  ClickAndWait(f, memory);
  // A read counts as connected: the device buttons are on.
  EXPECT_EQ(f.PanelText(1), "Connected");
  EXPECT_TRUE(Control<QPushButton>(f, "uploadLibraryButton")->isEnabled());
  auto* window = f.findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(window);
  Control<QTableWidget>(*window, "sessionTable")->selectRow(0);
  QTest::mouseClick(Control<QPushButton>(*window, "removeButton"), Qt::LeftButton);

  dialogs.Clear();
  dialogs.AnswerButton(MsgResult::Yes);  // restore
  QTest::mouseClick(Control<QPushButton>(*window, "writeButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.Calls().empty(); }, 60000));
  const MessageRequest box = dialogs.Calls()[0].Message;
  EXPECT_EQ(box.Icon, MsgIcon::Error);
  EXPECT_EQ(box.Buttons, MsgButtons::YesNo);
  EXPECT_TRUE(box.Text.startsWith(
      "Writing to Sorvani failed: Sorvani stopped answering while block 3 of 16 was written."))
      << box.Text.toStdString();
  EXPECT_TRUE(box.Text.contains("holds a mixed image: the write stopped at block 3 of 16"));
  // The backup it names holds the memory as it was before the write.
  EXPECT_TRUE(box.Text.contains(QFileInfo(box.Detail).fileName())) << box.Text.toStdString();
  QFile kept(box.Detail);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << box.Detail.toStdString();
  const Bytes three = BuildLibraryImage(kThree).value_or(Bytes{});
  EXPECT_EQ(kept.readAll(), QByteArray(reinterpret_cast<const char*>(three.data()),
                                       static_cast<qsizetype>(three.size())));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Writing(); }, 60000));
  WaitUntilIdle(f);
  EXPECT_EQ(sim.memory(), Padded(kThree));
  EXPECT_TRUE(Control<QLabel>(*window, "statusLabel")->text().startsWith("Restored"));
  EXPECT_TRUE(window->Changed());  // the edits are still there to write
  // The header says both: where the device's memory came from, and that the
  // list below it is not what the device holds.
  const QString header = Control<QLabel>(*window, "sourceLabel")->text();
  EXPECT_TRUE(header.contains("restored from")) << header.toStdString();
  EXPECT_TRUE(header.contains("not yet written to Sorvani")) << header.toStdString();
  EXPECT_TRUE(dialogs.AllAnswersUsed());
}

// The same failed write is told in the same words by the Memory window's
// box and by ovrel upload: why it failed and what the device's memory
// holds now. Both writes read the memory first (I, 16 r, O), then send I,
// C, W and the blocks.
TEST_F(MemoryWindowTest, AFailedWriteIsToldInTheSameWordsByTheWindowAndByOvrel) {
  struct Case {
    std::vector<std::string> WindowFault;
    std::vector<std::string> OvrelFault;
    const char* Why;
    int Block;
  };
  const Case cases[] = {
      {{"--no-reply", "D:3"},
       {"--no-reply", "D:3"},
       "Sorvani stopped answering while block 3 of 16 was written.",
       3},
      // The port lost at the fifth block: the window's Memory button read
      // 18 commands before.
      {{"--hangup-after", "43"},
       {"--hangup-after", "25"},
       "Sorvani connection lost. Please reconnect.",
       5},
  };
  const Bytes three = BuildLibraryImage(kThree).value_or(Bytes{});
  QFile library(root + "/three.svl");
  ASSERT_TRUE(library.open(QIODevice::WriteOnly));
  library.write(reinterpret_cast<const char*>(three.data()), static_cast<qint64>(three.size()));
  library.close();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    QString box;
    {
      std::vector<std::string> args{"--link", (root + "/ttyM").toStdString()};
      args.insert(args.end(), c.WindowFault.begin(), c.WindowFault.end());
      DevSim sim(args, Padded(kThree));
      SetPorts({root + "/ttyM"});
      MainWindow& f = MakeForm();
      f.ShowInFront();
      PickPort(f);
      ClickAndWait(f, Control<QPushButton>(f, "memoryButton"));
      auto* window = f.findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
      ASSERT_TRUE(window);
      Control<QTableWidget>(*window, "sessionTable")->selectRow(0);
      QTest::mouseClick(Control<QPushButton>(*window, "removeButton"), Qt::LeftButton);
      dialogs.Clear();
      dialogs.AnswerButton(MsgResult::No);  // not restored
      QTest::mouseClick(Control<QPushButton>(*window, "writeButton"), Qt::LeftButton);
      ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Writing(); }, 60000));
      WaitUntilIdle(f);
      for (const auto& call : dialogs.Calls())
        if (call.Message.Text.startsWith(QStringLiteral("Writing to Sorvani failed: ")))
          box = call.Message.Text;
      ASSERT_FALSE(box.isEmpty());
      // The main window's status line says what the Memory window's says.
      EXPECT_EQ(Control<QLabel>(*window, "statusLabel")->text(), f.PanelText(0));
      window->close();
    }

    DevSim sim(c.OvrelFault, Padded(kThree));
    QProcess ovrel;
    ovrel.start(QStringLiteral(OVREL_CLI_PATH),
                {"upload", "--port", QString::fromStdString(sim.path()), library.fileName()});
    ASSERT_TRUE(ovrel.waitForFinished(120000));
    const QString said = QString::fromLocal8Bit(ovrel.readAllStandardError()).replace('\n', ' ');

    const QString why = box.section(QStringLiteral("\n\n"), 0, 0);
    const QString holds = box.section(QStringLiteral("\n\n"), 1, 1);
    EXPECT_TRUE(why.startsWith(QStringLiteral("Writing to Sorvani failed: ") + c.Why))
        << why.toStdString();
    EXPECT_TRUE(holds.contains(QStringLiteral("the write stopped at block %1 of 16").arg(c.Block)))
        << holds.toStdString();
    EXPECT_TRUE(said.contains(why.mid(why.indexOf(QStringLiteral(": ")) + 2)))
        << said.toStdString() << "\n---\n"
        << why.toStdString();
    EXPECT_TRUE(said.contains(holds)) << said.toStdString() << "\n---\n" << holds.toStdString();
  }
}

// Dialogs that let another program act while the next message box is open.
class DialogsWithHook : public ScriptedDialogs {
 public:
  std::function<void()> WhileOpen;  // runs once, inside the next box
  MsgResult Message(const MessageRequest& request) override {
    if (std::function<void()> hook = std::exchange(WhileOpen, nullptr)) hook();
    return ScriptedDialogs::Message(request);
  }
};

// While the box of a failed write is open, another program uploads a
// library. "Yes, restore" reads the device first: it holds what the failed
// write could not have left, so the user is asked, shown what it holds, and
// "No" keeps the other program's library; the window's list, which the
// device does not hold, stays marked as changed. "Yes" again restores.
TEST_F(MemoryWindowTest, ARestoreAsksBeforeUndoingTheWriteOfAnotherProgram) {
  const std::vector<SessionRecord> theirs = {{1, 0, {{40, 10, 10, 100, 100}}}};
  const Bytes theirLibrary = BuildLibraryImage(theirs).value_or(Bytes{});
  WriteFile(root + "/theirs.svl", QByteArray(reinterpret_cast<const char*>(theirLibrary.data()),
                                             static_cast<qsizetype>(theirLibrary.size())));
  for (const MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
    SCOPED_TRACE(answer == MsgResult::No ? "keep theirs" : "restore over theirs");
    const QString port = root + (answer == MsgResult::No ? "/ttyN" : "/ttyY");
    DevSim sim({"--link", port.toStdString(), "--no-reply", "D:3"}, Padded(kThree));
    SetPorts({port});
    MainWindow& f = MakeForm();
    f.Device().SetPort(port);
    DialogsWithHook boxes;
    MemoryWindow window(f.Folders(), boxes, f.Device(), {});
    std::optional<JobResult> read;
    f.Device().Read([&](const JobResult& r) { read = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return read.has_value(); }, 60000));
    ASSERT_TRUE(read->Ok());
    window.ShowDeviceMemory(*read->MemImg);
    Control<QTableWidget>(window, "sessionTable")->selectRow(0);
    QTest::mouseClick(Control<QPushButton>(window, "removeButton"), Qt::LeftButton);

    // The other program, with a port and a link of its own.
    std::optional<JobResult> other;
    boxes.WhileOpen = [&] {
      DeviceService another(LinkTiming{}.Scaled(0.4), root + "/their-backups");
      another.SetPort(port);
      another.UploadFile(root + "/theirs.svl", {}, [&](const JobResult& r) { other = r; });
      ASSERT_TRUE(QTest::qWaitFor([&] { return other.has_value(); }, 60000));
    };
    boxes.AnswerButton(MsgResult::Yes);  // restore the memory before the write
    boxes.AnswerButton(answer);          // ... over what the device holds now?
    QTest::mouseClick(Control<QPushButton>(window, "writeButton"), Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return boxes.AllAnswersUsed() && !window.Writing(); }, 60000));
    WaitUntilIdle(f);
    ASSERT_TRUE(other && other->Ok()) << (other ? other->Reason().toStdString() : "no upload");

    ASSERT_EQ(boxes.Calls().size(), 2u);
    const MessageRequest question = boxes.Calls()[1].Message;
    EXPECT_EQ(question.Buttons, MsgButtons::YesNo);
    EXPECT_TRUE(question.Text.contains("another program may have written to it"))
        << question.Text.toStdString();
    EXPECT_TRUE(question.Text.contains("1 sessions (1:00)")) << question.Text.toStdString();
    EXPECT_EQ(question.Detail, boxes.Calls()[0].Message.Detail);  // the backup it would restore
    EXPECT_EQ(sim.memory(), answer == MsgResult::No ? Padded(theirs) : Padded(kThree));
    // The list is the window's unwritten edit, not what the device holds.
    EXPECT_EQ(window.Sessions(), (std::vector<SessionRecord>{kThree[1], kThree[2]}));
    EXPECT_TRUE(window.Changed());
    EXPECT_TRUE(Control<QPushButton>(window, "writeButton")->isEnabled());
    if (answer == MsgResult::No) {
      const QString source = Control<QLabel>(window, "sourceLabel")->text();
      EXPECT_TRUE(source.contains("not restored")) << source.toStdString();
      EXPECT_TRUE(source.endsWith("not yet written to Sorvani)")) << source.toStdString();
    }
  }
}

// A write that a killed program left unfinished: the next start names it and
// offers to restore the memory kept before it; "Yes" restores that, and the
// start after it asks nothing.
TEST_F(MemoryWindowTest, TheStartAfterACutOffWriteOffersTheRestore) {
  const QString port = root + "/ttyK";
  Bytes torn = Padded(kThree);
  std::fill(torn.begin() + 40, torn.end(), 0x5A);
  DevSim sim({"--link", port.toStdString()}, torn);
  SetPorts({port});
  ASSERT_TRUE(BackupHistory()
                  .Keep(MemoryImageOf(Padded(kThree)), BackupReason::BeforeUpload)
                  .Error.isEmpty());
  const QString mark = programFolder + "/.ovrelware-writing";
  WriteFile(mark, (port + "\n2026-12-10T12:00:00\n").toUtf8());

  dialogs.AnswerButton(MsgResult::Yes);
  MainWindow& f = MakeForm();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.Calls().empty(); }, 10000));
  WaitUntilIdle(f);
  const MessageRequest box = dialogs.Calls()[0].Message;
  EXPECT_EQ(box.Buttons, MsgButtons::YesNo);
  EXPECT_TRUE(
      box.Text.startsWith("The program ended while it was writing to Sorvani (port " + port))
      << box.Text.toStdString();
  EXPECT_EQ(BackupHistory::ReasonOf(box.Detail), BackupReason::BeforeUpload);
  EXPECT_EQ(sim.memory(), Padded(kThree));
  EXPECT_FALSE(QFile::exists(mark));
  EXPECT_TRUE(dialogs.AllAnswersUsed());

  dialogs.Clear();
  MakeForm();
  QTest::qWait(200);
  EXPECT_TRUE(dialogs.Calls().empty());
}

// The window follows what the device holds: an Upload/Add shows at once; over
// unwritten changes it asks, and "No" says the device changed. A read that
// finds no library, once the changes may go, leaves no old list behind.
TEST_F(MemoryWindowTest, FollowsChangesToTheDeviceAndDropsAListTheDeviceNoLongerHolds) {
  DevSim sim({"--link", (root + "/ttyM").toStdString()}, Padded(kThree));
  SetPorts({root + "/ttyM"});
  WriteFile(programFolder + "/Sessions/more.svs",
            "version=23\r\n1,0,\r\n40,10,10,100,100,\r\n0,\r\n");
  MainWindow& f = MakeForm();
  f.ShowInFront();
  PickPort(f);
  ClickAndWait(f, Control<QPushButton>(f, "memoryButton"));
  auto* window = f.findChild<MemoryWindow*>(QStringLiteral("memoryWindow"));
  ASSERT_TRUE(window);
  auto* table = Control<QTableWidget>(*window, "sessionTable");
  Control<QLineEdit>(f, "sessionFileEdit")->setText("more.svs");
  ClickAndWait(f, Control<QPushButton>(f, "uploadAddButton"));
  EXPECT_EQ(table->rowCount(), 4);
  EXPECT_FALSE(window->Changed());

  table->selectRow(0);
  QTest::mouseClick(Control<QPushButton>(*window, "removeButton"), Qt::LeftButton);
  dialogs.Clear();
  dialogs.AnswerButton(MsgResult::No);  // keep the changes
  ClickAndWait(f, Control<QPushButton>(f, "uploadAddButton"));
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  EXPECT_EQ(dialogs.Calls()[0].Message.Text,
            "Since its memory was read here, a session was added to Sorvani. Reload the memory? "
            "The changes made here and not written would be lost.");
  EXPECT_EQ(table->rowCount(), 3);
  EXPECT_TRUE(Control<QLabel>(*window, "sourceLabel")->text().startsWith("Sorvani memory changed"));

  MemoryImage broken{};
  broken.fill(0xAA);
  dialogs.Clear();
  dialogs.AnswerButton(MsgResult::Yes);  // discard the changes
  dialogs.AnswerButton(MsgResult::Ok);   // no valid library
  window->ShowDeviceMemory(broken);
  EXPECT_EQ(table->rowCount(), 0);
  EXPECT_FALSE(Control<QPushButton>(*window, "writeButton")->isEnabled());
  EXPECT_TRUE(Control<QLabel>(*window, "sourceLabel")->text().endsWith("no valid session library"));
  EXPECT_TRUE(dialogs.AllAnswersUsed());
}

}  // namespace
}  // namespace ovrel::test
