#include "device/link/LinkLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "device/link/LinkPort.h"
#include "device/link/LinkTiming.h"
#include "device/serial/ComPort.h"
#include "device/serial/PortHolder.h"

namespace ovrel {

namespace {

constexpr qint64 kMillisecondNs = 1'000'000;
constexpr qint64 kPauseTickNs = 100 * kMillisecondNs;

qint64 Nanoseconds(double dayFraction) {
  return LinkTiming::ToDuration(dayFraction).count();
}

}  // namespace

QString LinkLine::PortErrorDetail(const EComPort& e, const QString& port) {
  QString detail = QString::fromLocal8Bit(e.what());
  const int error = e.SystemError();
  if (error == EACCES || error == EPERM) {
    detail += QStringLiteral(
        "\nThis user may not open the port: add the user to the group that owns it "
        "(dialout on Debian and Ubuntu, uucp on Arch) and log in again.");
  } else if (error == EBUSY || error == EWOULDBLOCK) {
    const QString holder = port.isEmpty() ? QString() : PortHolder(port);
    const QString likely = holder.isEmpty() ? LikelyPortHolder() : QString();
    detail += QStringLiteral("\nThe port is busy: ") +
              (!holder.isEmpty() ? QStringLiteral("it is in use by ") + holder
               : likely.isEmpty()
                   ? QStringLiteral("another program has it open")
                   : QStringLiteral("another program has it open, probably ") + likely +
                         QStringLiteral(", which runs as another user")) +
              QStringLiteral(
                  ". Close that program (a terminal program, for example), or stop it (for "
                  "ModemManager: \"sudo systemctl stop ModemManager\"), and try again.");
  }
  return detail;
}

LinkLine::LinkLine(LinkPort& port, LinkState& state) : SerialPort(port), State(state) {
  Timer.setSingleShot(true);
  Timer.setTimerType(Qt::PreciseTimer);
  connect(&Timer, &QTimer::timeout, this, &LinkLine::OnTimer);
  Clock.start();
  SerialPort.OnReceived = [this](int count) { OnBytesReceived(count); };
}

LinkLine::~LinkLine() {
  SerialPort.OnReceived = nullptr;
}

std::optional<QString> LinkLine::Open() {
  try {
    SerialPort.Open();
  } catch (const EComPort& e) {
    Close();
    return PortErrorDetail(e, SerialPort.Path());
  }
  // Nothing has been sent yet: whatever a failed operation left half
  // received belongs to no reply of this one.
  State.RestartFrameAssembly();
  FLineError.clear();
  return std::nullopt;
}

void LinkLine::Close() {
  try {
    SerialPort.Close();
  } catch (const EComPort&) {
    // Nothing more can be done with a port that refuses to close.
  }
}

bool LinkLine::IsOpen() const {
  return SerialPort.IsOpen();
}

void LinkLine::Exchange(std::uint8_t letter, std::span<const std::uint8_t> payload, double settle,
                        double timeout, std::function<void(ExchangeEnd)> done) {
  ExchangeDone = std::move(done);
  ReplyTimeout = timeout;
  const int length = State.PrepareCommand(letter, payload);
  if (SerialPort.IsOpen()) {
    try {
      SerialPort.Write(State.TxBuf.data(), length);
    } catch (const EComPort& e) {
      // The device went away (or the line is stuck): no reply can come. The
      // end is reported from the event loop, never from inside this call.
      if (FLineError.isEmpty()) FLineError = PortErrorDetail(e);
      FPhase = Phase::AwaitingReply;
      QTimer::singleShot(0, this, [this] {
        if (FPhase == Phase::AwaitingReply) EndExchange();
      });
      return;
    }
  }
  const auto awaitReply = [this] {
    FPhase = Phase::AwaitingReply;
    if (State.ReplyWaitOver() || !FLineError.isEmpty()) {
      EndExchange();
      return;
    }
    StartWait(Nanoseconds(ReplyTimeout), [this] { EndExchange(); });
  };
  if (settle <= 0) {
    FPhase = Phase::AwaitingReply;
    QTimer::singleShot(0, this, awaitReply);
    return;
  }
  FPhase = Phase::Settling;
  StartWait(Nanoseconds(settle), awaitReply);
}

void LinkLine::Pause(double dayFraction, std::function<void()> done, std::function<void()> tick) {
  FPhase = Phase::Pausing;
  PauseEndNs = Clock.nsecsElapsed() + Nanoseconds(dayFraction);
  PauseDone = std::move(done);
  PauseTick = std::move(tick);
  PauseStep();
}

void LinkLine::PauseStep() {
  const qint64 left = PauseEndNs - Clock.nsecsElapsed();
  if (left <= 0) {
    FPhase = Phase::Idle;
    const std::function<void()> done = std::move(PauseDone);
    PauseDone = nullptr;
    PauseTick = nullptr;
    if (done) done();
    return;
  }
  if (PauseTick) PauseTick();
  StartWait(std::min(left, kPauseTickNs), [this] { PauseStep(); });
}

void LinkLine::Cancel() {
  Timer.stop();
  AtDeadline = nullptr;
  ExchangeDone = nullptr;
  PauseDone = nullptr;
  PauseTick = nullptr;
  FPhase = Phase::Idle;
}

void LinkLine::StartWait(qint64 ns, std::function<void()> then) {
  AtDeadline = std::move(then);
  DeadlineNs = Clock.nsecsElapsed() + ns;
  ArmTimer(ns);
}

void LinkLine::ArmTimer(qint64 leftNs) {
  // Timers count whole milliseconds and the event loop may round its sleep
  // up to the next one: the timer is set to go off a millisecond early, and
  // OnTimer sleeps what is left, so that every wait ends close to its
  // length instead of up to a millisecond after it.
  Timer.start(static_cast<int>(std::max<qint64>(0, leftNs / kMillisecondNs - 1)));
}

void LinkLine::OnTimer() {
  const qint64 left = DeadlineNs - Clock.nsecsElapsed();
  if (left >= 2 * kMillisecondNs) {
    ArmTimer(left);
    return;
  }
  if (left > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(left));
  if (!AtDeadline) return;
  const std::function<void()> then = std::move(AtDeadline);
  AtDeadline = nullptr;
  then();
}

void LinkLine::EndExchange() {
  Timer.stop();
  AtDeadline = nullptr;
  FPhase = Phase::Idle;
  const ExchangeEnd end = !FLineError.isEmpty() ? ExchangeEnd::LineFailed
                          : !State.WaitingReply ? ExchangeEnd::Replied
                          : State.WrongReply    ? ExchangeEnd::WrongReply
                                                : ExchangeEnd::NoReply;
  if (!ExchangeDone) return;
  const std::function<void(ExchangeEnd)> done = std::move(ExchangeDone);
  ExchangeDone = nullptr;
  done(end);
}

void LinkLine::OnBytesReceived(int count) {
  // A count larger than RxRawBuf is read and assembled in pieces.
  while (count > 0) {
    const int want = std::min<int>(count, static_cast<int>(State.RxRawBuf.size()));
    int got = 0;
    try {
      got = SerialPort.Read(State.RxRawBuf.data(), want);
    } catch (const EComPort& e) {
      // No reply can come: the exchange ends and the operation reports why.
      if (FLineError.isEmpty()) FLineError = PortErrorDetail(e);
      if (FPhase == Phase::Settling || FPhase == Phase::AwaitingReply) EndExchange();
      return;
    }
    if (got <= 0) break;
    State.Receive(std::span(State.RxRawBuf).first(static_cast<std::size_t>(got)));
    count -= got;
  }
  // During the settle delay a reply is kept; it counts once the delay is over.
  if (FPhase == Phase::AwaitingReply && State.ReplyWaitOver()) EndExchange();
}

}  // namespace ovrel
