#include "device/link/LinkLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "device/link/LinkPort.h"
#include "device/serial/SerialPort.h"
#include "device/serial/PortHolder.h"

namespace ovrel {

namespace {

constexpr qint64 kMillisecondNs = 1'000'000;
constexpr qint64 kPauseTickNs = 100 * kMillisecondNs;

qint64 Nanoseconds(LinkDuration duration) {
  return duration.count();
}

}  // namespace

QString LinkLine::PortErrorDetail(const SerialError& e, const QString& port) {
  QString detail = e.Text();
  const int error = e.SystemError;
  if (error == EACCES || error == EPERM) {
    detail += QStringLiteral(
        "\nThis user may not open the port: add the user to the group that owns it "
        "(dialout on Debian and Ubuntu, uucp on Arch) and log in again.");
  } else if (error == EBUSY || error == EWOULDBLOCK) {
    // A port held open by another program, or one locked by another
    // program's operation (between two openings of its port).
    QString holder = port.isEmpty() ? QString() : PortHolder(port);
    if (holder.isEmpty() && !port.isEmpty()) holder = PortLockHolder(port);
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

LinkLine::LinkLine(LinkPort& port) : port_(port) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &LinkLine::OnTimer);
  clock_.start();
  port_.OnBytesArrived = [this](int count) { OnBytesArrived(count); };
  port_.OnLineFailed = [this](const SerialError& error) { OnLineFailed(error); };
}

LinkLine::~LinkLine() {
  port_.OnBytesArrived = nullptr;
  port_.OnLineFailed = nullptr;
}

std::optional<QString> LinkLine::Open(const QString& path) {
  busy_ = false;
  const auto refused = [this, &path](const SerialError& error) {
    Close();
    busy_ = error.SystemError == EBUSY || error.SystemError == EWOULDBLOCK;
    return PortErrorDetail(error, path);
  };
  if (const std::optional<SerialError> busy = lock_.Acquire(path)) return refused(*busy);
  if (const std::optional<SerialError> error = port_.Open(path)) return refused(*error);
  // Nothing has been sent yet: whatever a failed operation left half
  // received belongs to no reply of this one.
  receiver_.Restart();
  lineError_.clear();
  return std::nullopt;
}

void LinkLine::Close() {
  // A port that refuses to close is released all the same.
  port_.Close();
}

void LinkLine::Release() {
  Close();
  lock_.Release();
}

bool LinkLine::IsOpen() const {
  return port_.IsOpen();
}

void LinkLine::Exchange(std::uint8_t letter, std::span<const std::uint8_t> payload,
                        LinkDuration settle, LinkDuration timeout, ExchangeDone done) {
  receiver_.Await(letter);
  Send(letter, payload, settle, timeout, std::move(done));
}

void LinkLine::Probe(LinkDuration settle, LinkDuration timeout, ExchangeDone done) {
  receiver_.AwaitProbeAnswer();
  Send(cmd::S, {}, settle, timeout, std::move(done));
}

void LinkLine::Send(std::uint8_t letter, std::span<const std::uint8_t> payload,
                    LinkDuration settle, LinkDuration timeout, ExchangeDone done) {
  exchangeDone_ = std::move(done);
  replyTimeout_ = timeout;
  const int length = BuildFrame(sendBuffer_, letter, payload);
  if (port_.IsOpen()) {
    if (const std::optional<SerialError> error = port_.Write(sendBuffer_.data(), length)) {
      // The device went away (or the line is stuck): no reply can come. The
      // end is reported from the event loop, never from inside this call.
      if (lineError_.isEmpty()) lineError_ = PortErrorDetail(*error);
      phase_ = Phase::AwaitingReply;
      QTimer::singleShot(0, this, [this] {
        if (phase_ == Phase::AwaitingReply) EndExchange();
      });
      return;
    }
  }
  const auto awaitReply = [this] {
    phase_ = Phase::AwaitingReply;
    if (receiver_.WaitOver() || !lineError_.isEmpty()) {
      EndExchange();
      return;
    }
    StartWait(Nanoseconds(replyTimeout_), [this] { EndExchange(); });
  };
  if (settle <= LinkDuration::zero()) {
    phase_ = Phase::AwaitingReply;
    QTimer::singleShot(0, this, awaitReply);
    return;
  }
  phase_ = Phase::Settling;
  StartWait(Nanoseconds(settle), awaitReply);
}

void LinkLine::Pause(LinkDuration length, std::function<void()> done,
                     std::function<void()> tick) {
  phase_ = Phase::Pausing;
  pauseEndNs_ = clock_.nsecsElapsed() + Nanoseconds(length);
  pauseDone_ = std::move(done);
  pauseTick_ = std::move(tick);
  PauseStep();
}

void LinkLine::PauseStep() {
  const qint64 left = pauseEndNs_ - clock_.nsecsElapsed();
  if (left <= 0) {
    phase_ = Phase::Idle;
    const std::function<void()> done = std::move(pauseDone_);
    pauseDone_ = nullptr;
    pauseTick_ = nullptr;
    if (done) done();
    return;
  }
  if (pauseTick_) pauseTick_();
  StartWait(std::min(left, kPauseTickNs), [this] { PauseStep(); });
}

void LinkLine::Cancel() {
  timer_.stop();
  atDeadline_ = nullptr;
  exchangeDone_ = nullptr;
  pauseDone_ = nullptr;
  pauseTick_ = nullptr;
  phase_ = Phase::Idle;
}

void LinkLine::StartWait(qint64 ns, std::function<void()> then) {
  atDeadline_ = std::move(then);
  deadlineNs_ = clock_.nsecsElapsed() + ns;
  ArmTimer(ns);
}

void LinkLine::ArmTimer(qint64 leftNs) {
  // Timers count whole milliseconds and the event loop may round its sleep
  // up to the next one: the timer is set to go off a millisecond early, and
  // OnTimer sleeps what is left, so that every wait ends close to its
  // length instead of up to a millisecond after it.
  timer_.start(static_cast<int>(std::max<qint64>(0, leftNs / kMillisecondNs - 1)));
}

void LinkLine::OnTimer() {
  const qint64 left = deadlineNs_ - clock_.nsecsElapsed();
  if (left >= 2 * kMillisecondNs) {
    ArmTimer(left);
    return;
  }
  if (left > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(left));
  if (!atDeadline_) return;
  const std::function<void()> then = std::move(atDeadline_);
  atDeadline_ = nullptr;
  then();
}

void LinkLine::EndExchange() {
  timer_.stop();
  atDeadline_ = nullptr;
  phase_ = Phase::Idle;
  const ExchangeEnd end = !lineError_.isEmpty()     ? ExchangeEnd::LineFailed
                          : receiver_.Replied()     ? ExchangeEnd::Replied
                          : receiver_.WrongReply()  ? ExchangeEnd::WrongReply
                                                    : ExchangeEnd::NoReply;
  if (!exchangeDone_) return;
  const ExchangeDone done = std::move(exchangeDone_);
  exchangeDone_ = nullptr;
  done(end, end == ExchangeEnd::Replied ? receiver_.Payload() : std::span<const std::uint8_t>{});
}

void LinkLine::OnBytesArrived(int count) {
  // A count larger than the read buffer is read and assembled in pieces.
  while (count > 0) {
    const int want = std::min<int>(count, static_cast<int>(readBuffer_.size()));
    const SerialRead got = port_.Read(readBuffer_.data(), want);
    if (got.Error) {
      LineFailed(*got.Error);
      return;
    }
    if (got.Count <= 0) break;
    receiver_.Receive(std::span(readBuffer_).first(static_cast<std::size_t>(got.Count)));
    count -= got.Count;
  }
  // During the settle delay a reply is kept; it counts once the delay is over.
  if (phase_ == Phase::AwaitingReply && receiver_.WaitOver()) EndExchange();
}

void LinkLine::OnLineFailed(const SerialError& error) {
  LineFailed(error);
}

void LinkLine::LineFailed(const SerialError& error) {
  // No reply can come: the exchange ends at once (in its settle delay too)
  // and the operation reports why.
  if (lineError_.isEmpty()) lineError_ = PortErrorDetail(error);
  if (phase_ == Phase::Settling || phase_ == Phase::AwaitingReply) EndExchange();
}

}  // namespace ovrel
