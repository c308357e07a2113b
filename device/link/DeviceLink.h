#pragma once
// The device link: the protocol state, the exchange step and the device
// operations (autodetection, library upload, memory download and the
// single-session merge). Everything runs on the thread of the event loop;
// the waits pump that loop, so windows stay alive during an operation.
//
// One device operation at a time: while one runs (inside its waits the event
// loop may deliver a button click or a remote request), starting another
// returns false at once without touching the port; WhenIdle queues work
// until the running operation has ended.

#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>

#include "device/link/LinkTiming.h"
#include "device/link/LinkUi.h"
#include "device/protocol/LinkState.h"

class QEventLoop;

namespace ovrel {

class TCustomComPort;

// Texts of the device operations.
namespace linktext {
inline const QString kNotConnected = QStringLiteral("Not connected");
inline const QString kConnectionLost = QStringLiteral("Sorvani connection lost. Please reconnect.");
inline const QString kPortOpenFailed =
    QStringLiteral("Sorvani is disconnected or not turned on. Session Library Upload failed.");
inline const QString kLibFileNotFound = QStringLiteral("The session library file not found.");
inline const QString kSesFileNotFound = QStringLiteral("The session file not found.");
inline const QString kCheckSumError = QStringLiteral("CheckSum Error");
inline const QString kMemoryLimit = QStringLiteral(
    "Session memory limit exceeded. The session is too big to be added to the existing session "
    "library in Sorvani.");
inline const QString kLibFileUnreadable =
    QStringLiteral("The session library file cannot be read.");
inline const QString kLibFileTooBig = QStringLiteral(
    "The session library file is too big for the session memory of Sorvani (2048 bytes).");
inline const QString kSesFileUnreadable = QStringLiteral("The session file cannot be read.");
inline const QString kInvalidDeviceLibrary = QStringLiteral(
    "The session library in Sorvani is not valid. The session cannot be added to it.");
inline const QString kNoSerialPort = QStringLiteral(
    "No serial port was found: connect the device's USB cable and turn the device on.");
inline const QString kNoAnswer = QStringLiteral("no answer from Sorvani");
inline const QString kBackupFailed =
    QStringLiteral("The session memory read from Sorvani cannot be kept as a backup.");
inline const QString kMemImgFile = QStringLiteral("SVPMemImg.svl");
inline const QString kTempSesLibFile = QStringLiteral("TempSesLib.svl");
}  // namespace linktext

class DeviceLink {
 public:
  // Takes over port.OnRxChar for as long as the link lives.
  DeviceLink(TCustomComPort& port, LinkUi& ui, LinkTiming timing = {});
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Probes every listed port with S; true when a device answered, the port
  // then being the port's Port (closed). Raises the port list's EComPort.
  // When none answered, ConnectFailure says why, a line for each port.
  bool Connect();
  QString ConnectFailure;
  // Uploads the library file at path (at most 2048 bytes).
  bool UploadSesLib(const QString& path);
  // Writes MemImgBuf to the device; LibCS must be set.
  bool UploadMemImgBuf();
  // Reads the device memory into MemImgBuf and "SVPMemImg.svl" (I, 16 r; no O).
  bool DownloadSVPMemory();
  // Adds the session file at path to the library in the device.
  bool UploadOneSession(const QString& path);
  // Reads the device memory as a whole transfer (I, 16 r, O) for the
  // command-line download; "SVPMemImg.svl" is not written.
  bool ReadDeviceMemory();

  // The folder of the working files ("SVPMemImg.svl", "TempSesLib.svl");
  // empty: the current directory.
  void SetWorkingFolder(const QString& folder) { WorkingFolder = folder; }
  const QString& GetWorkingFolder() const { return WorkingFolder; }

  // True while a device operation runs.
  bool Busy() const { return BusyFlag; }
  // Runs job now when idle, else after the running operation has ended.
  void WhenIdle(std::function<void()> job);

  // The received-bytes handler of the port.
  void OnBytesReceived(int count);
  // Sends the frame built at the start of TxBuf with payload length n.
  void SendFrame(int n);
  // One exchange: send, settle, wait for the reply with the same letter.
  bool Exchange(std::uint8_t letter, std::span<const std::uint8_t> payload, double timeout);

  // Called with every memory image read from the device, once its port is
  // closed; returns why the image could not be kept (empty when it was).
  // By default the image goes into the backup history; empty: not kept.
  std::function<QString(std::span<const std::uint8_t, kSesMemSize>)> KeepMemoryImage;

  LinkState State;
  bool SingleSessionMode = false;
  const LinkTiming Timing;

 private:
  class BusyScope;
  // failure, when given, receives why the port could not be opened.
  bool OpenPort(bool reportFailure, QString* failure = nullptr);
  void ClosePort();
  // Pumps events for the given time; with endOnReply, only until the reply
  // wait is over.
  void Wait(double dayFraction, bool endOnReply);
  void Report(char command, int block = -1);
  // Reports the step and runs the exchange; on failure closes the port.
  bool Step(std::uint8_t letter, std::span<const std::uint8_t> payload, double timeout,
            int block = -1);
  bool DoUploadMemImgBuf();
  bool DoDownload(bool closeTransfer);
  bool DoDownloadSVPMemory();
  // Hands the image just read to KeepMemoryImage; reports a failure.
  void KeepDownloadedImage();
  bool SaveWorkingFile(const QString& name, std::span<const std::uint8_t> bytes);
  // Shows why the merge stopped and closes the open transfer with O.
  void AbandonTransfer(const QString& text, const QString& detail);
  // Sends O to close the transfer the download opened, then closes the port.
  void CloseTransfer();
  void ScheduleQueued();

  TCustomComPort& SerialPort;
  LinkUi& Ui;
  // Shows why the line failed (LineError) when a write or read failed.
  void ReportLineError();

  QString WorkingFolder;
  bool BusyFlag = false;
  bool WriteFailed = false;
  // The port's error when a write or read failed during the operation.
  QString LineError;
  QEventLoop* WaitLoop = nullptr;
  bool WaitEndsOnReply = false;
  int StepNo = 0;
  int StepCount = 0;
  std::deque<std::function<void()>> Queued;
  QObject QueueContext;  // owns the queued calls; they die with the link
};

}  // namespace ovrel
