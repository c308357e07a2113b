// The platform-independent part of the port component: the error class and
// its message table, the Port and Connected properties, and running the
// event thread's notifications on the owning thread.
#include "device/serial/ComPort.h"

#include <QMetaObject>
#include <array>
#include <cstring>
#include <string>

#include "device/serial/ComThread.h"

namespace ovrel {

namespace {

constexpr std::array<const char*, 23> MessageTable = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

std::string ComposeMessage(int messageIndex, int systemError) {
  std::string text = comPortMessage(messageIndex).toStdString();
  if (systemError != -1) {
    char buffer[256];
    // The GNU strerror_r returns the text, either in buffer or a static one.
    const char* reason = strerror_r(systemError, buffer, sizeof buffer);
    text += " (system error " + std::to_string(systemError) + ": " + reason + ")";
  }
  return text;
}

}  // namespace

EComPort::EComPort(int messageIndex, int systemError)
    : std::runtime_error(ComposeMessage(messageIndex, systemError)),
      FMessageIndex(messageIndex),
      FSystemError(systemError) {}

EComPort::EComPort(int messageIndex, const std::string& reason)
    : std::runtime_error(comPortMessage(messageIndex).toStdString() + " (" + reason + ")"),
      FMessageIndex(messageIndex),
      FSystemError(-1) {}

QString comPortMessage(int messageIndex) {
  if (messageIndex < 1 || messageIndex > static_cast<int>(MessageTable.size())) return {};
  return QString::fromLatin1(MessageTable[messageIndex - 1]);
}

TCustomComPort::TCustomComPort(QObject* parent) : QObject(parent) {}

TCustomComPort::~TCustomComPort() {
  Close();
}

void TCustomComPort::SetConnected(bool value) {
  if (value)
    Open();
  else
    Close();
}

void TCustomComPort::SetPort(const QString& name) {
  if (name == FPort) return;
  FPort = name;
  if (FConnected) {
    Close();
    Open();
  }
}

void TCustomComPort::PostRxChar() {
  // Runs on the event thread; posting an event is thread-safe, and the call
  // is dropped if the component is gone by then.
  QMetaObject::invokeMethod(
      this, [this] { RunPendingRxChar(); }, Qt::QueuedConnection);
}

void TCustomComPort::RunPendingRxChar() {
  if (!FThread) return;
  int count = 0;
  if (!FThread->TakePending(count)) return;
  const unsigned openCount = FOpenCount;
  FReadInRxChar = 0;
  bool handled = true;
  try {
    if (OnRxChar) OnRxChar(this, count);
  } catch (...) {
    // Handed back to the event thread, which ends without showing it.
    handled = false;
  }
  // The handler may have closed (or closed and reopened) the port; the
  // thread that asked is then gone.
  if (FThread && FOpenCount == openCount) FThread->Complete(handled, FReadInRxChar > 0);
}

void TCustomComPort::StopThread() {
  if (!FThread) return;
  FThread->RequestStop();
  // Keep running the notifications the thread queues until it has ended,
  // so that a thread blocked in a hand-off can finish.
  for (;;) {
    RunPendingRxChar();
    if (!FThread || FThread->WaitFinishedOrPending()) break;
  }
  if (FThread) {
    FThread->Join();
    FThread.reset();
  }
}

}  // namespace ovrel
