#pragma once
// The device link: the runner of the device operations. It owns the line to
// the device and holds the port the operations use, runs one operation at a
// time and queues the rest in the order they came (from the buttons, ovrel
// and the remote control alike), and hands each result to whoever asked
// for it. Everything
// runs on the thread of the event loop, driven by the port's notifications
// and timers; no call waits.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>

#include "device/link/DeviceOperation.h"
#include "device/link/LinkLine.h"
#include "device/link/LinkPort.h"
#include "device/link/LinkTiming.h"
#include "device/link/LinkUi.h"
#include "device/link/OperationResult.h"

namespace ovrel {

class SerialPort;

// Texts of the device operations.
namespace linktext {
inline const QString kNotConnected = QStringLiteral("Not connected");
inline const QString kConnectionLost = QStringLiteral("Sorvani connection lost. Please reconnect.");
inline const QString kPortOpenFailed =
    QStringLiteral("Sorvani is disconnected or not turned on. Session Library Upload failed.");
inline const QString kReadPortOpenFailed = QStringLiteral(
    "Sorvani is disconnected or not turned on. Reading the session memory failed.");
inline const QString kLibFileNotFound = QStringLiteral("The session library file not found.");
inline const QString kSesFileNotFound = QStringLiteral("The session file not found.");
inline const QString kLibFileNotRegular =
    QStringLiteral("The session library file is not a regular file.");
inline const QString kSesFileNotRegular = QStringLiteral("The session file is not a regular file.");
inline const QString kCheckSumError = QStringLiteral("CheckSum Error");
inline const QString kMemoryLimit = QStringLiteral(
    "Session memory limit exceeded. The session is too big to be added to the existing session "
    "library in Sorvani.");
inline const QString kLibFileUnreadable =
    QStringLiteral("The session library file cannot be read.");
inline const QString kLibFileTooBig = QStringLiteral(
    "The session library file is too big for the session memory of Sorvani (2048 bytes).");
inline const QString kLibFileNotSound = QStringLiteral(
    "The session library file is not a valid session library. Nothing was uploaded.");
inline const QString kSesFileUnreadable = QStringLiteral("The session file cannot be read.");
inline const QString kInvalidDeviceLibrary = QStringLiteral(
    "The session library in Sorvani is not valid. The session cannot be added to it.");
inline const QString kNoSerialPort = QStringLiteral(
    "No serial port was found: connect the device's USB cable and turn the device on.");
inline const QString kAutodetectionFailed = QStringLiteral("Autodetection of Sorvani failed");
inline const QString kNoAnswer = QStringLiteral("no answer from Sorvani");
inline const QString kBackupFailed =
    QStringLiteral("The session memory read from Sorvani cannot be kept as a backup.");
inline const QString kMemImgFile = QStringLiteral("SVPMemImg.svl");
inline const QString kTempSesLibFile = QStringLiteral("TempSesLib.svl");
}  // namespace linktext

class DeviceLink : public QObject {
  Q_OBJECT
 public:
  DeviceLink(SerialPort& port, LinkUi& ui, LinkTiming timing = {});
  // On another port (an in-process device in tests).
  DeviceLink(LinkPort& port, LinkUi& ui, LinkTiming timing = {});
  ~DeviceLink() override;
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  using Done = std::function<void(const OperationResult&)>;

  // Runs the operation now when nothing runs, else after what was queued
  // before it; done receives its result once the port is closed.
  void Run(std::unique_ptr<DeviceOperation> operation, Done done = {});
  // Runs the operation before anything queued: the second half of a job
  // the caller began with the operation that just ended (a backup read,
  // then the upload that replaces what it read).
  void RunNext(std::unique_ptr<DeviceOperation> operation, Done done = {});
  // Runs job in the same queue, when its turn comes; the link counts as
  // busy while it runs (it may ask the user a question).
  void WhenIdle(std::function<void()> job);
  // The operations of the buttons, ovrel and the remote control.
  // Autodetection; the port it ends on becomes the link's port.
  void Connect(Done done);
  void UploadLibrary(const QString& path, Done done);
  void AddSession(const QString& path, Done done);
  // Reads the whole memory (I, 16 r, O) into the result's MemImg;
  // "SVPMemImg.svl" is not written.
  void ReadMemory(Done done);

  // True while an operation or a queued job runs or waits for its turn.
  bool Busy() const { return running_ || !queue_.empty(); }

  // The port the operations open: set by the port list, by autodetection
  // and by ovrel's --port. Empty until one of them sets it; an operation
  // then fails as not connected.
  void SetPort(const QString& port) { port_ = port; }
  const QString& Port() const { return port_; }

  // The folder of the working files ("SVPMemImg.svl", "TempSesLib.svl");
  // empty: the current directory.
  void SetWorkingFolder(const QString& folder) { workingFolder_ = folder; }
  const QString& WorkingFolder() const { return workingFolder_; }
  QString WorkingFilePath(const QString& name) const;

  // Called with every memory image read from the device, once its port is
  // closed; returns why the image could not be kept (empty when it was).
  // The owner decides where (the windows and `ovrel` keep it in the backup
  // history); empty: not kept.
  std::function<QString(std::span<const std::uint8_t, SesMemSize>)> KeepMemoryImage;
  // When set, an add whose read could not be kept writes nothing: it fails
  // (closing the transfer) instead of going on with a note.
  bool StopWhenNotKept = false;

  // Asked before queued work starts; while it answers false (the windows
  // have a modal box open) the work waits and it is asked again shortly,
  // so that queued work starts from the main event loop only, never from
  // a box's own loop. Empty: the work starts at once.
  std::function<bool()> MayStartNext;

  const LinkTiming Timing;

  // For the operations: the line, the observer, and the progress report.
  LinkLine& Line() { return line_; }
  LinkUi& Ui() { return ui_; }
  // Reports the command just sent as the operation's next step.
  void Report(char command, int block = -1);
  // A pause of the given length starts; ReportPause reports time passing in it.
  void PauseBegins(LinkDuration length);
  void ReportPause();
  const LinkProgress& CurrentStep() const { return current_; }

 private:
  struct Queued {
    std::unique_ptr<DeviceOperation> Operation;
    Done OnDone;
    std::function<void()> Job;
  };
  void ScheduleNext();
  void StartNext();
  void Finished(DeviceOperation* operation, const OperationResult& result);
  // How far the running operation is, in thousandths, with paused of its pauses passed.
  int Permille(LinkDuration paused) const;

  // port, or when null the port it owns.
  DeviceLink(std::unique_ptr<LinkPort> ownPort, LinkPort* port, LinkUi& ui, LinkTiming timing);

  std::unique_ptr<LinkPort> ownPort_;  // the serial port's adapter
  LinkLine line_;
  LinkUi& ui_;
  QString port_;
  QString workingFolder_;
  std::deque<Queued> queue_;
  bool running_ = false;
  bool nextScheduled_ = false;
  std::unique_ptr<DeviceOperation> runningOperation_;
  std::unique_ptr<DeviceOperation> endedOperation_;
  Done currentDone_;
  LinkProgress current_;
  // The pauses of the running operation, and how much of them has passed.
  LinkDuration pauseTotal_{};
  LinkDuration pauseEnd_{};
  LinkDuration paused_{};
  QElapsedTimer pauseClock_;
};

}  // namespace ovrel
