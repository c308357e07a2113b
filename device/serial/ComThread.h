// The event thread of an open port. It waits for bytes on the port and hands
// each notification to the component's own thread as a synchronous call:
// it posts the call and waits until that thread has run it, so at most one
// notification is outstanding.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/serial/UniqueFd.h"

namespace ovrel {

class TCustomComPort;

class TComThread {
 public:
  // Raises EComPort when the thread cannot be set up.
  TComThread(TCustomComPort& owner, int portHandle);
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // Owner's side of the hand-off.
  // Takes the posted notification's byte count; false when none is waiting.
  bool TakePending(int& count);
  // Reports the taken notification as run; handled is false when the handler
  // raised an error (the thread then ends), consumed whether it read bytes.
  void Complete(bool handled, bool consumed);

  // Asks the thread to end; it leaves any wait at once.
  void RequestStop();
  // Blocks until the thread has ended (true) or a notification is waiting
  // to be taken (false).
  bool WaitFinishedOrPending();
  void Join();

 private:
  void Execute();
  // Posts a notification of count bytes and waits for it to be run.
  // False when the thread must end.
  bool HandOff(int count, bool& consumed);
  // Sleeps up to ms milliseconds unless a stop is requested; false on stop.
  bool Pause(int ms);
  void SignalStop();

  TCustomComPort& FOwner;
  int FPortHandle;
  UniqueFd FStopEvent;

  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FStopRequested = false;
  bool FFinished = false;
  int FPendingCount = 0;  // posted and not yet taken
  bool FInHandOff = false;
  bool FCompleted = false;
  bool FHandled = true;
  bool FConsumed = false;

  std::thread FThread;
};

}  // namespace ovrel
