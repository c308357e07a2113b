// The device fault matrix: the library upload (whose first 18 exchanges
// read the memory it replaces) and the single-session upload (whose first
// 17 exchanges are the memory download), run from the main
// window's buttons against the emulator, with each fault injected at each
// exchange. Every cell must fail with the window's failure text, not before
// its time-outs have run, leave the port closed and free, send nothing
// after the failing exchange, leave no half-written working file, and wait
// in the event loop, never beside it.

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include "device/link/LinkTexts.h"
#include "device/serial/SerialPort.h"
#include "support/DevSim.h"
#include "support/FindChild.h"
#include "support/LoopBlockWatch.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/device/LinkTestSupport.h"
#include "tests/faults/FaultCell.h"

namespace ovrel::test {
namespace {

// The waits scaled down so that the whole matrix runs in about a minute:
// 5 ms settle, 298 ms reply, 497 ms reply to C, 70 ms pause.
const LinkTiming kMatrixTiming{std::chrono::microseconds(4'968), std::chrono::microseconds(298'080),
                               std::chrono::microseconds(496'800),
                               std::chrono::microseconds(69'552)};

// The longest sleep the link may take on the window's thread: the rest of a
// wait whose timer went off a millisecond early.
constexpr std::chrono::microseconds kLongestSleepOnTheLoop{2000};

const QByteArray kOneSessionLibrary = QByteArray::fromHex("1701000e00060100240a0a6464003b");
const QByteArray kEmptyLibrary = QByteArray::fromHex("1700000413");

Bytes EmptyLibraryMemory() {
  return Padded(Bytes(kEmptyLibrary.begin(), kEmptyLibrary.end()));
}

class FaultMatrix : public MainWindowFixture, public ::testing::WithParamInterface<FaultCell> {
 protected:
  void RunCell(const FaultCell& cell, const LinkTiming& timing);
};

void FaultMatrix::RunCell(const FaultCell& cell, const LinkTiming& timing) {
  const QString port = root + QStringLiteral("/ttyFault");
  std::vector<std::string> args = {"--log", "--c-delay", "0", "--link", port.toStdString()};
  const std::vector<std::string> fault = FaultArgs(cell);
  args.insert(args.end(), fault.begin(), fault.end());
  DevSim device(args, EmptyLibraryMemory());

  MainWindowOptions options;
  options.ProgramFile = programFolder + QStringLiteral("/ovrelware");
  form = std::make_unique<MainWindow>(dialogs, MakeDevice(timing), options);
  MainWindow& f = *form;
  f.Link().SetPort(port);
  const bool upload = cell.Op == Operation::LibraryUpload;
  if (upload) {
    f.Folders().SetSelectedLibraryPath(programFolder + QStringLiteral("/Libraries/One.svl"));
    WriteFile(f.Folders().SelectedLibraryPath(), kOneSessionLibrary);
    Control<QLineEdit>(f, "libraryFileEdit")->setText(QStringLiteral("One.svl"));
  } else {
    f.Folders().SetSelectedSessionPath(programFolder + QStringLiteral("/Sessions/One.svs"));
    WriteFile(f.Folders().SelectedSessionPath(), kOneSegmentSession);
    Control<QLineEdit>(f, "sessionFileEdit")->setText(QStringLiteral("One.svs"));
  }
  const QString panel1 = f.PanelText(1);

  QElapsedTimer clock;
  clock.start();
  std::vector<SleepingCall> sleptOnTheLoop;
  int loopWaits = 0;
  {
    LoopBlockWatch watch;
    if (upload)
      QMetaObject::invokeMethod(&f, "onUploadLibraryClicked");
    else
      QMetaObject::invokeMethod(&f, "onUploadAddClicked");
    ASSERT_TRUE(RunLoopUntil([&] { return !f.Link().Busy(); }, std::chrono::minutes(2)));
    sleptOnTheLoop = watch.LongerThan(kLongestSleepOnTheLoop);
    loopWaits = watch.LoopWaits();
  }
  const qint64 elapsedMs = clock.elapsed();

  // The window's failure text, and no message box: a missing or wrong reply
  // is reported in the status bar only. A hang-up the port noticed (the
  // next write or read failed) is shown with the port's reason.
  EXPECT_EQ(f.PanelText(0), upload ? QStringLiteral("Sorvani session library upload failed")
                                   : QStringLiteral("Single session upload to Sorvani failed"));
  const QStringList messages = dialogs.MessageTexts();
  if (cell.Kind == Fault::HangUp && !messages.isEmpty()) {
    EXPECT_EQ(messages, QStringList{"Sorvani connection lost. Please reconnect."});
    EXPECT_EQ(f.PanelText(1), QStringLiteral("Not connected"));
  } else if (cell.Kind == Fault::Garbage && !messages.isEmpty()) {
    // Noise before a reply long enough to fill the frame it announces
    // makes a damaged frame, which is told with why.
    const QChar letter(Commands(cell.Op)[static_cast<std::size_t>(cell.Exchange)]);
    EXPECT_EQ(messages, QStringList{LinkTextOf(LinkText::DamagedReplyStart, letter)});
    EXPECT_EQ(f.PanelText(1), panel1);
  } else {
    EXPECT_EQ(f.PanelText(1), panel1);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
  }
  EXPECT_GE(static_cast<double>(elapsedMs), ShortestFailureMs(cell, timing));
  EXPECT_TRUE(sleptOnTheLoop.empty()) << Describe(sleptOnTheLoop);
  EXPECT_GT(loopWaits, 0);

  // The port is closed, and free for the next operation at once.
  EXPECT_FALSE(f.Link().Line().IsOpen());
  if (cell.Kind != Fault::HangUp) {
    SerialPort next;
    EXPECT_FALSE(next.Open(port));
    EXPECT_TRUE(next.IsOpen());
    next.Close();
  }

  // Nothing was sent after the failing exchange. The emulator logs what it
  // got at its own pace, which a busy machine slows: wait until the log
  // holds the exchanges that were made, give a stray write time to reach
  // it, then read it.
  const std::string sent = Commands(cell.Op).substr(0, static_cast<std::size_t>(cell.Exchange) + 1);
  // (A log that never gets there fails the comparison below.)
  static_cast<void>(
      QTest::qWaitFor([&] { return LoggedCommands(device.log()).size() >= sent.size(); }, 30000));
  QTest::qWait(30);
  EXPECT_EQ(LoggedCommands(device.log()), sent);

  // Working files: none when the download failed; after a complete download
  // the memory image and the merged library, both whole.
  QStringList files = QDir(programFolder).entryList(QDir::Files | QDir::Hidden);
  files.sort();
  if (upload || cell.Exchange < kDownloadExchanges) {
    EXPECT_EQ(files, QStringList{QStringLiteral("ovrelware")});
  } else {
    EXPECT_EQ(files, (QStringList{QStringLiteral("SVPMemImg.svl"), QStringLiteral("TempSesLib.svl"),
                                  QStringLiteral("ovrelware")}));
    EXPECT_EQ(ReadFile(programFolder + QStringLiteral("/SVPMemImg.svl")), EmptyLibraryMemory());
    EXPECT_EQ(ReadFile(programFolder + QStringLiteral("/TempSesLib.svl")),
              Bytes(kOneSessionLibrary.begin(), kOneSessionLibrary.end()));
  }
}

TEST_P(FaultMatrix, FailsCleanly) {
  RunCell(GetParam(), kMatrixTiming);
}

std::vector<FaultCell> AllCells() {
  std::vector<FaultCell> cells;
  for (Operation op : {Operation::LibraryUpload, Operation::AddSession}) {
    const int exchanges = static_cast<int>(Commands(op).size());
    for (int i = 0; i < exchanges; ++i)
      for (Fault f :
           {Fault::NoReply, Fault::WrongLetter, Fault::ShortReply, Fault::Garbage, Fault::HangUp})
        cells.push_back({op, i, f});
  }
  return cells;
}

std::string CellName(const ::testing::TestParamInfo<FaultCell>& info) {
  const FaultCell& c = info.param;
  const std::string commands = Commands(c.Op);
  char index[4];
  std::snprintf(index, sizeof index, "%02d", c.Exchange);
  return std::string(c.Op == Operation::LibraryUpload ? "Upload" : "AddSession") + "_" + index +
         "_" + commands[static_cast<std::size_t>(c.Exchange)] + "_" + FaultName(c.Kind);
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(AllCells()), CellName);

// A handful of cells with the program's own time constants.
class FaultMatrixRealTiming : public FaultMatrix {};

TEST_F(FaultMatrixRealTiming, UploadNoReplyToI) {
  RunCell({Operation::LibraryUpload, 0, Fault::NoReply}, LinkTiming{});
}

TEST_F(FaultMatrixRealTiming, UploadWrongLetterAtBlock7) {
  RunCell({Operation::LibraryUpload, 28, Fault::WrongLetter}, LinkTiming{});
}

TEST_F(FaultMatrixRealTiming, DownloadReplyCutShortAtTheLastBlock) {
  RunCell({Operation::AddSession, 16, Fault::ShortReply}, LinkTiming{});
}

TEST_F(FaultMatrixRealTiming, AddSessionHangUpAtE) {
  RunCell({Operation::AddSession, 35, Fault::HangUp}, LinkTiming{});
}

}  // namespace
}  // namespace ovrel::test
