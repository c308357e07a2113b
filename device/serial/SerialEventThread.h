// The event thread of an open port. It waits for bytes on the port and hands
// each notification to the port's own thread as a synchronous call:
// it posts the call and waits until that thread has run it, so at most one
// notification is outstanding.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "device/serial/SerialPort.h"
#include "device/serial/UniqueFd.h"

namespace ovrel {

class SerialEventThread {
 public:
  SerialEventThread(SerialPort& owner, int portHandle);
  ~SerialEventThread();
  SerialEventThread(const SerialEventThread&) = delete;
  SerialEventThread& operator=(const SerialEventThread&) = delete;

  // Starts the thread; the error when it cannot be set up.
  std::optional<SerialError> Start();

  // Owner's side of the hand-off.
  // Takes the posted notification's byte count; false when none is waiting.
  bool TakePending(int& count);
  // Reports the taken notification as run; handled is false when the handler
  // raised an error (the thread then ends), consumed whether it read bytes.
  void Complete(bool handled, bool consumed);
  // True once when the thread ended because the line went down.
  bool TakeLineFailure();

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

  SerialPort& owner_;
  int portHandle_;
  UniqueFd stopEvent_;
  int stopEventError_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopRequested_ = false;
  bool finished_ = false;
  bool lineFailed_ = false;  // ended by a hang-up, not yet taken
  int pendingCount_ = 0;  // posted and not yet taken
  bool inHandOff_ = false;
  bool completed_ = false;
  bool handled_ = true;
  bool consumed_ = false;

  std::thread thread_;
};

}  // namespace ovrel
