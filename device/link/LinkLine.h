#pragma once
// The line to the device: opens and closes the port and runs one exchange
// at a time (send a frame, wait out the settle delay, await the reply)
// without blocking. The port's received-bytes notification and a timer
// drive it; a callback tells how the exchange ended. Nothing here runs an
// event loop of its own.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "device/link/LinkTiming.h"
#include "device/protocol/ReplyReceiver.h"
#include "device/serial/PortLock.h"

namespace ovrel {

class LinkPort;
struct SerialError;

enum class ExchangeEnd { Replied, NoReply, WrongReply, LineFailed };

// How an exchange ended, and the payload of the reply when it came (valid
// during the call only).
using ExchangeDone = std::function<void(ExchangeEnd, std::span<const std::uint8_t> reply)>;

class LinkLine : public QObject {
  Q_OBJECT
 public:
  // Takes over port.OnBytesArrived for as long as the line lives.
  explicit LinkLine(LinkPort& port);
  ~LinkLine() override;

  // Opens the port at path afresh, taking its lock first unless it is held
  // already; on failure closes it again and returns why it could not be
  // opened, with a hint at what the user can do. The line forgets how its
  // last exchange failed.
  std::optional<QString> Open(const QString& path);
  // Closes the port; its lock is kept until Release.
  void Close();
  // Closes the port and gives up its lock: the end of an operation.
  void Release();
  bool IsOpen() const;
  // True when the last Open failed because another program (or another
  // lock of this one) holds the port.
  bool Busy() const { return busy_; }

  // Sends the command and calls done once the reply is in, a wrong reply
  // came, the timeout passed or the line failed. The settle delay is waited
  // out in full before the reply counts; settle 0 awaits the reply at once.
  void Exchange(std::uint8_t letter, std::span<const std::uint8_t> payload, LinkDuration settle,
                LinkDuration timeout, ExchangeDone done);
  // Sends the probe S; only an answer to the probe counts as its reply, and
  // other frames are ignored.
  void Probe(LinkDuration settle, LinkDuration timeout, ExchangeDone done);
  // Calls done after the given time; tick, when given, every 100 ms before.
  void Pause(LinkDuration length, std::function<void()> done, std::function<void()> tick = {});
  // Stops a running exchange or pause without calling its callback.
  void Cancel();

  // Why the line failed in the last exchange (the system's reason); empty
  // when it did not.
  const QString& LineError() const { return lineError_; }

  // The received-bytes handler of the port.
  void OnBytesArrived(int count);
  // The port's handler of a line that went down.
  void OnLineFailed(const SerialError& error);

  // The port's error with a hint at what the user can do about it; port,
  // when given, is looked up for the program that holds it.
  static QString PortErrorDetail(const SerialError& error, const QString& port = {});

 private:
  enum class Phase { Idle, Settling, AwaitingReply, Pausing };
  // Sends the frame of letter (the receiver awaits its reply already).
  void Send(std::uint8_t letter, std::span<const std::uint8_t> payload, LinkDuration settle,
            LinkDuration timeout, ExchangeDone done);
  // Runs then after ns nanoseconds, to the fraction of a millisecond.
  void StartWait(qint64 ns, std::function<void()> then);
  void ArmTimer(qint64 leftNs);
  void OnTimer();
  void EndExchange();
  // One tick of a pause: reports it, or ends the pause at its end.
  void PauseStep();
  // Keeps why the line failed (the first reason only) and ends a running
  // exchange: no reply can come.
  void LineFailed(const SerialError& error);

  LinkPort& port_;
  PortLock lock_;
  ReplyReceiver receiver_;
  std::array<std::uint8_t, kMaxFrameLen> sendBuffer_{};
  std::array<std::uint8_t, SesMemSize> readBuffer_{};
  Phase phase_ = Phase::Idle;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 deadlineNs_ = 0;
  std::function<void()> atDeadline_;
  ExchangeDone exchangeDone_;
  LinkDuration replyTimeout_{};
  qint64 pauseEndNs_ = 0;
  std::function<void()> pauseDone_;
  std::function<void()> pauseTick_;
  QString lineError_;
  bool busy_ = false;
};

}  // namespace ovrel
