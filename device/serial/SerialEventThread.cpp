// The hand-off between the event thread and the port's own thread.
#include "device/serial/SerialEventThread.h"

#include <utility>

#include "device/serial/SerialPort.h"

namespace ovrel {

bool SerialEventThread::TakePending(int& count) {
  std::lock_guard lock(mutex_);
  if (pendingCount_ <= 0) return false;
  count = pendingCount_;
  pendingCount_ = 0;
  return true;
}

void SerialEventThread::Complete(bool handled, bool consumed) {
  {
    std::lock_guard lock(mutex_);
    completed_ = true;
    handled_ = handled;
    consumed_ = consumed;
  }
  changed_.notify_all();
}

bool SerialEventThread::TakeLineFailure() {
  std::lock_guard lock(mutex_);
  return std::exchange(lineFailed_, false);
}

void SerialEventThread::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  SignalStop();
  changed_.notify_all();
}

bool SerialEventThread::WaitFinishedOrPending() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return finished_ || pendingCount_ > 0; });
  return pendingCount_ == 0;
}

void SerialEventThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool SerialEventThread::HandOff(int count, bool& consumed) {
  {
    std::lock_guard lock(mutex_);
    if (stopRequested_) return false;
    pendingCount_ = count;
    completed_ = false;
    inHandOff_ = true;
  }
  owner_.PostNotification();
  std::unique_lock lock(mutex_);
  // A stop ends the wait too: the owner may be closing the port from
  // inside the handler, and then never completes this call.
  changed_.wait(lock, [this] { return completed_ || stopRequested_; });
  inHandOff_ = false;
  consumed = consumed_;
  return completed_ && handled_ && !stopRequested_;
}

}  // namespace ovrel
