// The serial port component: one serial port of the system, opened
// exclusively as a raw 8N1 line at 38400 bit/s, with a blocking bounded
// write, a read that never waits, and an event thread that announces
// received bytes to the thread owning the component through OnRxChar.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>

namespace ovrel {

// Error of the port component: a row of the message table and the system's
// error code (errno), or -1 when the error has none.
class EComPort : public std::runtime_error {
 public:
  EComPort(int messageIndex, int systemError);
  // An error without a system code, its reason given in words.
  EComPort(int messageIndex, const std::string& reason);
  int MessageIndex() const { return FMessageIndex; }
  int SystemError() const { return FSystemError; }

 private:
  int FMessageIndex;
  int FSystemError;
};

// Text of row messageIndex (1 to 23) of the message table; empty for others.
QString comPortMessage(int messageIndex);

// Rows of the message table raised by this component.
enum ComPortMessageRow {
  CError_OpenFailed = 1,
  CError_WriteFailed = 2,
  CError_ReadFailed = 3,
  CError_PurgeFailed = 5,
  CError_SetStateFailed = 7,
  CError_SetTimeoutsFailed = 8,
  CError_SetupComFailed = 9,
  CError_ClearComFailed = 10,
  CError_ModemStatFailed = 11,
  CError_RegFailed = 23,
};

enum TBaudRate {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

// The ten line events, each a bit of TComEvents in declaration order.
enum TComEvent {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};
using TComEvents = unsigned;
constexpr TComEvents AllComEvents = (1u << 10) - 1;

struct TComParity {
  TParityBits Bits = prNone;
};

struct TComFlowControl {
  TDTRFlowControl ControlDTR = dtrDisable;
  TRTSFlowControl ControlRTS = rtsDisable;
  bool OutCTSFlow = false;
  bool OutDSRFlow = false;
  bool XonXoffOut = false;
  bool XonXoffIn = false;
  unsigned char XonChar = 17;
  unsigned char XoffChar = 19;
};

// Milliseconds; ReadInterval -1 with both read totals 0 makes a read return
// at once with what has arrived.
struct TComTimeouts {
  int ReadInterval = -1;
  int ReadTotalMultiplier = 0;
  int ReadTotalConstant = 0;
  int WriteTotalMultiplier = 100;
  int WriteTotalConstant = 1000;
};

struct TComBuffer {
  int InputSize = 1024;
  int OutputSize = 1024;
};

class TComThread;

class TCustomComPort : public QObject {
  Q_OBJECT

 public:
  explicit TCustomComPort(QObject* parent = nullptr);
  ~TCustomComPort() override;  // closes the port

  // Opens the port and starts the event thread; nothing when already open.
  void Open();
  // Stops the event thread and releases the port; nothing when closed.
  void Close();
  // Writes count bytes; blocks until they are sent, at most for the write
  // time-out (100 ms per byte + 1000 ms). Returns the number written.
  int Write(const void* buffer, int count);
  // Places up to count bytes that have already arrived into buffer and
  // returns their number, possibly 0. Never waits.
  int Read(void* buffer, int count);

  bool Connected() const { return FConnected; }
  void SetConnected(bool value);
  QString Port() const { return FPort; }
  // Same name: nothing. Another name while open: close and open again.
  void SetPort(const QString& name);

  // Fixed line settings of this program's port.
  TBaudRate BaudRate() const { return br38400; }
  TDataBits DataBits() const { return dbEight; }
  TStopBits StopBits() const { return sbOneStopBit; }
  const TComParity& Parity() const { return FParity; }
  const TComFlowControl& FlowControl() const { return FFlowControl; }
  const TComTimeouts& Timeouts() const { return FTimeouts; }
  const TComBuffer& Buffer() const { return FBuffer; }
  TComEvents Events() const { return AllComEvents; }
  TSyncMethod SyncMethod() const { return smThreadSync; }

  // Called on the thread that owns the object (the UI thread) with Count >= 1.
  std::function<void(TCustomComPort* Sender, int Count)> OnRxChar;

 private:
  friend class TComThread;

  void ApplySettings(int handle);
  void ReadModemLines();
  void StopThread();
  // Runs the event thread's pending notification, if any, on this thread.
  void RunPendingRxChar();
  // Called on the event thread: wakes this object's thread to run the
  // pending notification.
  void PostRxChar();

  QString FPort = QStringLiteral("/dev/ttyS0");
  bool FConnected = false;
  bool FClosing = false;
  int FHandle = -1;
  // Counts the openings, so that a notification that outlives its port
  // (the handler closed or reopened it) is not completed on another thread.
  unsigned FOpenCount = 0;
  // Bytes taken by Read while a notification runs: a handler that takes
  // none makes the event thread wait a little before it asks again.
  int FReadInRxChar = 0;
  std::unique_ptr<TComThread> FThread;
  TComParity FParity;
  TComFlowControl FFlowControl;
  TComTimeouts FTimeouts;
  TComBuffer FBuffer;
};

class TComPort : public TCustomComPort {
  Q_OBJECT

 public:
  using TCustomComPort::TCustomComPort;
};

// Replaces list with the serial ports present, sorted without regard to
// case. OVREL_PORTS (colon-separated), when set, is the whole list;
// OVREL_EXTRA_PORTS adds to the ports found on the system.
void ListComPorts(QStringList& list);

}  // namespace ovrel
