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
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "device/protocol/LinkState.h"

namespace ovrel {

class LinkPort;
class EComPort;

enum class ExchangeEnd { Replied, NoReply, WrongReply, LineFailed };

class LinkLine : public QObject {
  Q_OBJECT
 public:
  // Takes over port.OnReceived for as long as the line lives.
  LinkLine(LinkPort& port, LinkState& state);
  ~LinkLine() override;

  LinkPort& Port() { return SerialPort; }

  // Opens the port afresh; on failure closes it again and returns why it
  // could not be opened, with a hint at what the user can do.
  std::optional<QString> Open();
  void Close();
  bool IsOpen() const;

  // Sends the command and calls done once the reply is in, a wrong reply
  // came, the timeout passed or the line failed. The settle delay is waited
  // out in full before the reply counts; settle 0 awaits the reply at once.
  // Waits are fractions of a day, as in LinkTiming.
  void Exchange(std::uint8_t letter, std::span<const std::uint8_t> payload, double settle,
                double timeout, std::function<void(ExchangeEnd)> done);
  // Calls done after the given time; tick, when given, every 100 ms before.
  void Pause(double dayFraction, std::function<void()> done, std::function<void()> tick = {});
  // Stops a running exchange or pause without calling its callback.
  void Cancel();

  // Why the line failed in the last exchange (the system's reason); empty
  // when it did not.
  const QString& LineError() const { return FLineError; }

  // The received-bytes handler of the port.
  void OnBytesReceived(int count);

  // The port's error with a hint at what the user can do about it; port,
  // when given, is looked up for the program that holds it.
  static QString PortErrorDetail(const EComPort& e, const QString& port = {});

 private:
  enum class Phase { Idle, Settling, AwaitingReply, Pausing };
  // Runs then after ns nanoseconds, to the fraction of a millisecond.
  void StartWait(qint64 ns, std::function<void()> then);
  void ArmTimer(qint64 leftNs);
  void OnTimer();
  void EndExchange();
  // One tick of a pause: reports it, or ends the pause at its end.
  void PauseStep();

  LinkPort& SerialPort;
  LinkState& State;
  Phase FPhase = Phase::Idle;
  QTimer Timer;
  QElapsedTimer Clock;
  qint64 DeadlineNs = 0;
  std::function<void()> AtDeadline;
  std::function<void(ExchangeEnd)> ExchangeDone;
  double ReplyTimeout = 0;
  qint64 PauseEndNs = 0;
  std::function<void()> PauseDone;
  std::function<void()> PauseTick;
  QString FLineError;
};

}  // namespace ovrel
