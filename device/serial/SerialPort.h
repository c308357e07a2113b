// The serial port: one serial port of the system, opened exclusively as a
// raw 8N1 line at 38400 bit/s without flow control, with a blocking bounded
// write, a read that never waits, and an event thread that announces
// received bytes to the thread owning the port through OnBytesArrived.
// Every call that can fail returns a SerialError; nothing is thrown.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ovrel {

// The line settings of the device's port. They are fixed: the device speaks
// nothing else.
namespace serial {
inline constexpr int kBaudRate = 38400;
inline constexpr int kDataBits = 8;
inline constexpr int kStopBits = 1;
// No parity, no hardware or software flow control, DTR and RTS off.
// The write time-out: 100 ms per byte plus 1000 ms.
inline constexpr int kWriteMsPerByte = 100;
inline constexpr int kWriteMsConstant = 1000;
}  // namespace serial

// What failed; each kind has its own text.
enum class SerialErrorKind {
  OpenFailed,         // "Unable to open com port"
  WriteFailed,        // "WriteFile function failed"
  ReadFailed,         // "ReadFile function failed"
  SetStateFailed,     // "SetCommState function failed": the line settings
  SetTimeoutsFailed,  // "SetCommTimeouts failed": the read time-outs
  ModemStatFailed,    // "GetCommModemStatus function failed"
  PortListFailed,     // "Registry error": the system's port list
  HungUp,             // the line went down: the device was unplugged or turned off
};

// A failure of the serial port or the port list, with the system's reason.
struct SerialError {
  SerialErrorKind Kind = SerialErrorKind::OpenFailed;
  // The system's error code (errno), or -1 when the reason is in Reason.
  int SystemError = -1;
  std::string Reason;

  // The kind's text, then the system's reason: "Unable to open com port
  // (system error 2: No such file or directory)".
  QString Text() const;
};

// The text of a kind of failure, without a reason.
QString SerialErrorText(SerialErrorKind kind);

// What a read returned: the number of bytes placed, or why it failed.
struct SerialRead {
  int Count = 0;
  std::optional<SerialError> Error;
};

class SerialEventThread;

class SerialPort : public QObject {
  Q_OBJECT

 public:
  explicit SerialPort(QObject* parent = nullptr);
  ~SerialPort() override;  // closes the port

  // Opens the port at path and starts the event thread. Open already on
  // path: nothing; open on another path: that one is closed first.
  std::optional<SerialError> Open(const QString& path);
  // Stops the event thread and releases the port; nothing when closed.
  void Close();
  // Writes count bytes; blocks until they are sent, at most for the write
  // time-out (100 ms per byte + 1000 ms).
  std::optional<SerialError> Write(const void* buffer, int count);
  // Places up to count bytes that have already arrived into buffer and
  // returns their number, possibly 0. Never waits.
  SerialRead Read(void* buffer, int count);

  bool IsOpen() const { return open_; }
  // The path of the port that is open or was opened last.
  const QString& Path() const { return path_; }

  // Called on the thread that owns the object (the UI thread) with a count >= 1.
  std::function<void(int count)> OnBytesArrived;
  // Called on the owning thread when the event thread finds the line gone
  // (a hang-up, or a port that no longer answers): nothing more can arrive.
  // Not called for a port that is being closed.
  std::function<void(const SerialError& error)> OnLineFailed;

 private:
  friend class SerialEventThread;

  std::optional<SerialError> ApplySettings(int handle);
  std::optional<SerialError> ReadModemLines();
  void StopThread();
  // Runs the event thread's pending notification, if any, on this thread.
  void RunPendingNotification();
  // Called on the event thread: wakes this object's thread to run the
  // pending notification.
  void PostNotification();

  QString path_;
  bool open_ = false;
  bool closing_ = false;
  int handle_ = -1;
  // Counts the openings, so that a notification that outlives its port
  // (the handler closed or reopened it) is not completed on another thread.
  unsigned openCount_ = 0;
  // Bytes taken by Read while a notification runs: a handler that takes
  // none makes the event thread wait a little before it asks again.
  int readInNotification_ = 0;
  std::unique_ptr<SerialEventThread> thread_;
};

// The serial ports present, sorted without regard to case, or why they
// could not be listed. OVREL_PORTS (colon-separated), when set, is the whole
// list; OVREL_EXTRA_PORTS adds to the ports found on the system.
struct SerialPortList {
  QStringList Ports;
  std::optional<SerialError> Error;
};
SerialPortList ListSerialPorts();

}  // namespace ovrel
