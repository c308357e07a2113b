// The platform-independent part of the serial port: the error texts and
// running the event thread's notifications on the owning thread.
#include "device/serial/SerialPort.h"

#include <QMetaObject>
#include <cstring>
#include <string>

#include "device/serial/SerialEventThread.h"

namespace ovrel {

QString SerialErrorText(SerialErrorKind kind) {
  switch (kind) {
    case SerialErrorKind::OpenFailed:
      return QStringLiteral("Unable to open com port");
    case SerialErrorKind::WriteFailed:
      return QStringLiteral("WriteFile function failed");
    case SerialErrorKind::ReadFailed:
      return QStringLiteral("ReadFile function failed");
    case SerialErrorKind::SetStateFailed:
      return QStringLiteral("SetCommState function failed");
    case SerialErrorKind::SetTimeoutsFailed:
      return QStringLiteral("SetCommTimeouts failed");
    case SerialErrorKind::ModemStatFailed:
      return QStringLiteral("GetCommModemStatus function failed");
    case SerialErrorKind::PortListFailed:
      return QStringLiteral("Registry error");
    case SerialErrorKind::HungUp:
      return QStringLiteral("The port hung up: the device was unplugged or turned off");
  }
  return {};
}

QString SerialError::Text() const {
  QString text = SerialErrorText(Kind);
  if (SystemError != -1) {
    char buffer[256];
    // The GNU strerror_r returns the text, either in buffer or a static one.
    const char* reason = strerror_r(SystemError, buffer, sizeof buffer);
    text += QStringLiteral(" (system error %1: %2)")
                .arg(SystemError)
                .arg(QString::fromLocal8Bit(reason));
  } else if (!Reason.empty()) {
    text += QStringLiteral(" (") + QString::fromStdString(Reason) + QLatin1Char(')');
  }
  return text;
}

SerialPort::SerialPort(QObject* parent) : QObject(parent) {}

SerialPort::~SerialPort() {
  Close();
}

void SerialPort::PostNotification() {
  // Runs on the event thread; posting an event is thread-safe, and the call
  // is dropped if the port is gone by then.
  QMetaObject::invokeMethod(
      this, [this] { RunPendingNotification(); }, Qt::QueuedConnection);
}

void SerialPort::RunPendingNotification() {
  if (!thread_) return;
  int count = 0;
  if (!thread_->TakePending(count)) {
    // The thread has ended because the line went down: said once, and not
    // to a port that is being closed.
    if (!closing_ && thread_->TakeLineFailure() && OnLineFailed)
      OnLineFailed(SerialError{SerialErrorKind::HungUp, -1, {}});
    return;
  }
  const unsigned openCount = openCount_;
  readInNotification_ = 0;
  bool handled = true;
  try {
    if (OnBytesArrived) OnBytesArrived(count);
  } catch (...) {
    // Handed back to the event thread, which ends without showing it.
    handled = false;
  }
  // The handler may have closed (or closed and reopened) the port; the
  // thread that asked is then gone.
  if (thread_ && openCount_ == openCount) thread_->Complete(handled, readInNotification_ > 0);
}

void SerialPort::StopThread() {
  if (!thread_) return;
  thread_->RequestStop();
  // Keep running the notifications the thread queues until it has ended,
  // so that a thread blocked in a hand-off can finish.
  for (;;) {
    RunPendingNotification();
    if (!thread_ || thread_->WaitFinishedOrPending()) break;
  }
  if (thread_) {
    thread_->Join();
    thread_.reset();
  }
}

}  // namespace ovrel
