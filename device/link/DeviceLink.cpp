#include "device/link/DeviceLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <sstream>
#include <thread>

#include "device/link/BackupHistory.h"
#include "device/protocol/Merge.h"
#include "session/FileBytes.h"
#include "device/serial/ComPort.h"
#include "device/serial/PortHolder.h"

namespace ovrel {

namespace {

// Steps of each operation, for the progress report.
constexpr int kUploadSteps = 22;    // I C W 16xD E X O
constexpr int kDownloadSteps = 17;  // I 16xr
constexpr qint64 kTimerResolutionNs = 1'000'000;

// The port's error with a hint at what the user can do about it; port, when
// given, is looked up for the program that holds it.
QString PortErrorDetail(const EComPort& e, const QString& port = {}) {
  QString detail = QString::fromLocal8Bit(e.what());
  const int error = e.SystemError();
  if (error == EACCES || error == EPERM) {
    detail += QStringLiteral(
        "\nThis user may not open the port: add the user to the group that owns it "
        "(dialout on Debian and Ubuntu, uucp on Arch) and log in again.");
  } else if (error == EBUSY || error == EWOULDBLOCK) {
    const QString holder = port.isEmpty() ? QString() : PortHolder(port);
    detail += QStringLiteral("\nThe port is busy: ") +
              (holder.isEmpty() ? QStringLiteral("another program has it open")
                                : QStringLiteral("it is in use by ") + holder) +
              QStringLiteral(
                  ". Close that program (a terminal program, for example), or stop it (for "
                  "ModemManager: \"sudo systemctl stop ModemManager\"), and try again.");
  }
  return detail;
}

}  // namespace

// Marks a device operation as running for its lifetime and announces its
// start and end; when it ends, work queued by WhenIdle gets its turn.
class DeviceLink::BusyScope {
 public:
  BusyScope(DeviceLink& link, int steps) : Link(link) {
    Link.BusyFlag = true;
    Link.StepNo = 0;
    Link.StepCount = steps;
    Link.Ui.BusyChanged(true);
  }
  ~BusyScope() {
    Link.BusyFlag = false;
    Link.SingleSessionMode = false;
    Link.State.Autodetecting = false;
    Link.StepNo = Link.StepCount = 0;
    Link.Ui.Progress({});
    Link.Ui.BusyChanged(false);
    if (!Link.Queued.empty()) Link.ScheduleQueued();
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  DeviceLink& Link;
};

DeviceLink::DeviceLink(TCustomComPort& port, LinkUi& ui, LinkTiming timing)
    : KeepMemoryImage([](std::span<const std::uint8_t, kSesMemSize> image) {
        return BackupHistory().Keep(image).Error;
      }),
      Timing(timing),
      SerialPort(port),
      Ui(ui) {
  SerialPort.OnRxChar = [this](TCustomComPort*, int count) { OnBytesReceived(count); };
}

DeviceLink::~DeviceLink() {
  SerialPort.OnRxChar = nullptr;
}

void DeviceLink::WhenIdle(std::function<void()> job) {
  if (!BusyFlag) {
    job();
    return;
  }
  Queued.push_back(std::move(job));
}

void DeviceLink::ScheduleQueued() {
  QTimer::singleShot(0, &QueueContext, [this] {
    if (BusyFlag || Queued.empty()) return;
    auto job = std::move(Queued.front());
    Queued.pop_front();
    job();
    if (!BusyFlag && !Queued.empty()) ScheduleQueued();
  });
}

// ---- receiving and sending ----

void DeviceLink::OnBytesReceived(int count) {
  // A count larger than RxRawBuf is read and assembled in pieces.
  while (count > 0) {
    const int want = std::min<int>(count, static_cast<int>(State.RxRawBuf.size()));
    int got = 0;
    try {
      got = SerialPort.Read(State.RxRawBuf.data(), want);
    } catch (const EComPort& e) {
      // No reply can come: the wait ends and the operation reports why.
      if (LineError.isEmpty()) LineError = PortErrorDetail(e);
      if (WaitLoop) WaitLoop->quit();
      return;
    }
    if (got <= 0) break;
    State.Receive(std::span(State.RxRawBuf).first(static_cast<std::size_t>(got)));
    count -= got;
  }
  if (WaitLoop && WaitEndsOnReply && State.ReplyWaitOver()) WaitLoop->quit();
}

void DeviceLink::SendFrame(int n) {
  if (!SerialPort.Connected()) return;
  try {
    SerialPort.Write(State.TxBuf.data(), n + kFrameOverhead);
  } catch (const EComPort& e) {
    // The device went away (or the line is stuck): no reply can come.
    WriteFailed = true;
    if (LineError.isEmpty()) LineError = PortErrorDetail(e);
  }
}

void DeviceLink::Wait(double dayFraction, bool endOnReply) {
  const qint64 total = LinkTiming::ToDuration(dayFraction).count();
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    if (endOnReply && (State.ReplyWaitOver() || !LineError.isEmpty())) return;
    const qint64 leftNs = total - clock.nsecsElapsed();
    if (leftNs <= 0) return;
    // Timers count whole milliseconds: the last fraction of one is slept
    // here, so that every wait ends close to its length instead of up to a
    // millisecond (and the timer's own lateness) after it.
    if (leftNs < kTimerResolutionNs) {
      std::this_thread::sleep_for(std::chrono::nanoseconds(leftNs));
      continue;
    }
    // Sleep in the event loop until the deadline or until the receiver
    // completes the awaited reply; events (received bytes, repaints, user
    // input) are handled meanwhile.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(static_cast<int>(leftNs / kTimerResolutionNs));
    WaitLoop = &loop;
    WaitEndsOnReply = endOnReply;
    loop.exec();
    WaitLoop = nullptr;
  }
}

bool DeviceLink::Exchange(std::uint8_t letter, std::span<const std::uint8_t> payload,
                          double timeout) {
  const int n = State.PrepareCommand(letter, payload) - kFrameOverhead;
  SendFrame(n);
  if (WriteFailed) return false;
  Wait(Timing.SettleDelay, false);
  Wait(timeout, true);
  return !State.WaitingReply && LineError.isEmpty();
}

// ---- the port ----

bool DeviceLink::OpenPort(bool reportFailure, QString* failure) {
  try {
    SerialPort.Open();
  } catch (const EComPort& e) {
    ClosePort();
    const QString detail = PortErrorDetail(e, SerialPort.Port());
    if (failure) *failure = detail;
    if (reportFailure) {
      Ui.ShowMessage(linktext::kPortOpenFailed, LinkIcon::Error, detail);
      Ui.SetStatusText(1, linktext::kNotConnected);
      Ui.SetStatusText(0, linktext::kConnectionLost);
    }
    return false;
  }
  if (!SerialPort.Connected()) return false;
  // Nothing has been sent yet: whatever a failed operation left half
  // received belongs to no reply of this one.
  State.RestartFrameAssembly();
  WriteFailed = false;
  LineError.clear();
  return true;
}

void DeviceLink::ClosePort() {
  try {
    SerialPort.Close();
  } catch (const EComPort&) {
    // Nothing more can be done with a port that refuses to close.
  }
}

void DeviceLink::Report(char command, int block) {
  ++StepNo;
  StepCount = std::max(StepCount, StepNo);
  Ui.Progress({StepNo, StepCount, command, block});
}

bool DeviceLink::Step(std::uint8_t letter, std::span<const std::uint8_t> payload, double timeout,
                      int block) {
  Report(static_cast<char>(letter), block);
  if (Exchange(letter, payload, timeout)) return true;
  ClosePort();
  if (!LineError.isEmpty()) ReportLineError();
  return false;
}

void DeviceLink::ReportLineError() {
  Ui.ShowMessage(linktext::kConnectionLost, LinkIcon::Error, LineError);
  Ui.SetStatusText(1, linktext::kNotConnected);
  Ui.SetStatusText(0, linktext::kConnectionLost);
}

// ---- autodetection ----

bool DeviceLink::Connect() {
  if (BusyFlag) return false;
  QStringList ports;
  ListComPorts(ports);
  BusyScope busy(*this, static_cast<int>(ports.size()));
  State.Autodetecting = true;
  State.WrongReply = false;
  Ui.PortsListed(ports);
  QStringList reasons;
  if (ports.isEmpty()) reasons << linktext::kNoSerialPort;
  for (int i = 0; i < ports.size(); ++i) {
    Ui.ProbingPort(i);
    SerialPort.SetPort(ports[i]);
    QString failure;
    if (!OpenPort(false, &failure)) {
      ClosePort();
      reasons << ports[i] + QStringLiteral(": ") + failure;
      continue;
    }
    Report(static_cast<char>(cmd::S));
    const bool found = Exchange(cmd::S, {}, Timing.ReplyTimeout);
    ClosePort();
    if (found) {
      ConnectFailure.clear();
      return true;
    }
    reasons << ports[i] + QStringLiteral(": ") +
                   (LineError.isEmpty() ? linktext::kNoAnswer : LineError);
  }
  ConnectFailure = reasons.join(QLatin1Char('\n'));
  return false;
}

// ---- library upload ----

bool DeviceLink::UploadSesLib(const QString& path) {
  if (BusyFlag) return false;
  BusyScope busy(*this, kUploadSteps);
  State.MemImgBuf.fill(0);
  if (!QFileInfo(path).isFile()) {
    Ui.ShowMessage(linktext::kLibFileNotFound, LinkIcon::Error, {});
    return false;
  }
  const FileBytes file = ReadFileBytes(QFile::encodeName(path).toStdString(), kSesMemSize);
  if (file.Fault == FileBytesFault::TooLarge) {
    Ui.ShowMessage(linktext::kLibFileTooBig, LinkIcon::Error, path);
    return false;
  }
  if (!file) {
    Ui.ShowMessage(linktext::kLibFileUnreadable, LinkIcon::Error, QString::fromStdString(file.Error));
    return false;
  }
  const std::string& data = *file.Bytes;
  std::copy(data.begin(), data.end(), State.MemImgBuf.begin());
  const auto s = static_cast<std::size_t>(data.size());
  State.LibCS = s < 2 ? 0 : XorSum(std::span(State.MemImgBuf).first(s - 1));
  return DoUploadMemImgBuf();
}

bool DeviceLink::UploadMemImgBuf() {
  if (BusyFlag) return false;
  BusyScope busy(*this, SingleSessionMode ? kUploadSteps - 1 : kUploadSteps);
  return DoUploadMemImgBuf();
}

bool DeviceLink::DoUploadMemImgBuf() {
  State.WrongReply = false;
  if (!OpenPort(true)) return false;
  if (!SingleSessionMode && !Step(cmd::I, {}, Timing.ReplyTimeout)) return false;
  if (!Step(cmd::C, {}, Timing.LongReplyTimeout)) return false;
  if (!Step(cmd::W, {}, Timing.ReplyTimeout)) return false;
  for (int k = 0; k < kBlockCount; ++k) {
    const auto block = std::span(State.MemImgBuf).subspan(k * kBlockSize, kBlockSize);
    if (!Step(cmd::D, block, Timing.ReplyTimeout, k)) return false;
  }
  if (!Step(cmd::E, {}, Timing.ReplyTimeout)) return false;
  if (!Step(cmd::X, {}, Timing.ReplyTimeout)) return false;
  if (!Step(cmd::O, {}, Timing.ReplyTimeout)) return false;
  const bool result = State.DeviceCS == State.LibCS;
  if (!result) Ui.ShowMessage(linktext::kCheckSumError, LinkIcon::None, {});
  ClosePort();
  return result;
}

// ---- memory download and single-session upload ----

bool DeviceLink::DoDownload(bool closeTransfer) {
  State.MemImgBuf.fill(0);
  State.WrongReply = false;
  if (!OpenPort(true)) return false;
  if (!Step(cmd::I, {}, Timing.ReplyTimeout)) return false;
  for (int k = 0; k < kBlockCount; ++k) {
    State.ReadBase = k * kBlockSize;
    const ReadPayload payload = ReadBlockPayload(k);
    if (!Step(cmd::r, payload.Bytes, Timing.ReplyTimeout, k)) return false;
  }
  if (closeTransfer && !Step(cmd::O, {}, Timing.ReplyTimeout)) return false;
  ClosePort();
  KeepDownloadedImage();
  return true;
}

void DeviceLink::KeepDownloadedImage() {
  if (!KeepMemoryImage) return;
  const QString error = KeepMemoryImage(State.MemImgBuf);
  if (!error.isEmpty()) Ui.ShowMessage(linktext::kBackupFailed, LinkIcon::Error, error);
}

bool DeviceLink::SaveWorkingFile(const QString& name, std::span<const std::uint8_t> bytes) {
  QSaveFile file(WorkingFolder.isEmpty() ? name : WorkingFolder + QLatin1Char('/') + name);
  if (file.open(QIODevice::WriteOnly) &&
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
          static_cast<qint64>(bytes.size()) &&
      file.commit()) {
    return true;
  }
  Ui.ShowMessage(QStringLiteral("The file \"%1\" cannot be written.").arg(name), LinkIcon::Error,
                 file.errorString());
  return false;
}

bool DeviceLink::DownloadSVPMemory() {
  if (BusyFlag) return false;
  BusyScope busy(*this, kDownloadSteps);
  return DoDownloadSVPMemory();
}

bool DeviceLink::DoDownloadSVPMemory() {
  return DoDownload(false) && SaveWorkingFile(linktext::kMemImgFile, State.MemImgBuf);
}

bool DeviceLink::ReadDeviceMemory() {
  if (BusyFlag) return false;
  BusyScope busy(*this, kDownloadSteps + 1);
  return DoDownload(true);
}

void DeviceLink::AbandonTransfer(const QString& text, const QString& detail) {
  Ui.ShowMessage(text, LinkIcon::Error, detail);
  CloseTransfer();
}

void DeviceLink::CloseTransfer() {
  // Close the transfer the download opened: O without the settle step.
  if (SerialPort.Connected() || OpenPort(false)) {
    Report(static_cast<char>(cmd::O));
    const int n = State.PrepareCommand(cmd::O) - kFrameOverhead;
    SendFrame(n);
    if (!WriteFailed) Wait(Timing.ReplyTimeout, true);
  }
  ClosePort();
}

bool DeviceLink::UploadOneSession(const QString& path) {
  if (BusyFlag) return false;
  BusyScope busy(*this, kDownloadSteps + kUploadSteps - 1);
  SingleSessionMode = true;

  // The session file is read before the device is touched, so that a file
  // that cannot be added leaves the device alone.
  if (!QFileInfo(path).isFile()) {
    Ui.ShowMessage(linktext::kSesFileNotFound, LinkIcon::Error, {});
    return false;
  }
  const std::string fileName = QFile::encodeName(path).toStdString();
  const FileBytes file = ReadFileBytes(fileName, kMaxTextFileBytes);
  if (!file) {
    Ui.ShowMessage(linktext::kSesFileUnreadable, LinkIcon::Error, QString::fromStdString(file.Error));
    return false;
  }
  const MergeSessionRead read = ReadSessionForMerge(*file.Bytes, fileName);
  if (!read.Session) {
    Ui.ShowMessage(
        QString::fromStdString(read.Error) + QStringLiteral(" The session was not added."),
        LinkIcon::Error, path);
    return false;
  }

  if (!DoDownload(false)) return false;
  if (!SaveWorkingFile(linktext::kMemImgFile, State.MemImgBuf)) {
    CloseTransfer();
    return false;
  }
  if (const auto invalid = CheckLibraryImage(State.MemImgBuf)) {
    AbandonTransfer(
        linktext::kInvalidDeviceLibrary,
        QStringLiteral("The session memory read from Sorvani is not a session library: ") +
            QString::fromStdString(*invalid) + QStringLiteral("."));
    return false;
  }
  const MergeOutcome merged = MergeSessionIntoImage(State.MemImgBuf, *read.Session);
  if (!merged.Fits) {
    AbandonTransfer(linktext::kMemoryLimit, {});
    return false;
  }
  State.LibCS = merged.LibCS;
  Wait(Timing.PreUploadPause, false);
  const bool result = DoUploadMemImgBuf();
  SaveWorkingFile(linktext::kTempSesLibFile,
                  std::span(State.MemImgBuf).first(static_cast<std::size_t>(merged.L) + 1));
  return result;
}

}  // namespace ovrel
