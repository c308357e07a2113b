// The hand-off between the event thread and the component's own thread.
#include "device/serial/ComThread.h"

#include "device/serial/ComPort.h"

namespace ovrel {

bool TComThread::TakePending(int& count) {
  std::lock_guard lock(FMutex);
  if (FPendingCount <= 0) return false;
  count = FPendingCount;
  FPendingCount = 0;
  return true;
}

void TComThread::Complete(bool handled, bool consumed) {
  {
    std::lock_guard lock(FMutex);
    FCompleted = true;
    FHandled = handled;
    FConsumed = consumed;
  }
  FChanged.notify_all();
}

void TComThread::RequestStop() {
  {
    std::lock_guard lock(FMutex);
    FStopRequested = true;
  }
  SignalStop();
  FChanged.notify_all();
}

bool TComThread::WaitFinishedOrPending() {
  std::unique_lock lock(FMutex);
  FChanged.wait(lock, [this] { return FFinished || FPendingCount > 0; });
  return FPendingCount == 0;
}

void TComThread::Join() {
  if (FThread.joinable()) FThread.join();
}

bool TComThread::HandOff(int count, bool& consumed) {
  {
    std::lock_guard lock(FMutex);
    if (FStopRequested) return false;
    FPendingCount = count;
    FCompleted = false;
    FInHandOff = true;
  }
  FOwner.PostRxChar();
  std::unique_lock lock(FMutex);
  // A stop ends the wait too: the owner may be closing the port from
  // inside the handler, and then never completes this call.
  FChanged.wait(lock, [this] { return FCompleted || FStopRequested; });
  FInHandOff = false;
  consumed = FConsumed;
  return FCompleted && FHandled && !FStopRequested;
}

}  // namespace ovrel
