// The memory window, opened from the main window's Memory button against the
// device emulator: the sessions listed, one removed, one moved, written back.

#include <QDir>
#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <optional>

#include "device/jobs/DeviceJobs.h"
#include "library/LibraryEdit.h"
#include "memory/MemoryWindow.h"
#include "storage/BackupHistory.h"
#include "support/DevSim.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"

namespace ovrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<SessionRecord> kThree = {
    {2, 0, {{36, 10, 10, 100, 100}, {36, 10, 10, 100, 100}}},
    {7, 30, {{72, 12, 20, 44, 44}, {87, 140, 148, 44, 200}, {150, 5, 5, 48, 48}}},
    {0, 15, {{33, 48, 1, 200, 200}}},
};

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
  std::optional<OperationResult> remote;
  QTimer::singleShot(50, [&] {
    WriteOptions options;  // as the remote control starts its adds
    f.Jobs().Add(calm, options, [&](const OperationResult& r) { remote = r; });
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
  MemoryWindow window(f.Folders(), dialogs, f.Jobs(), {});
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

}  // namespace
}  // namespace ovrel::test
