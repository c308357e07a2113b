#include "device/link/DeviceOperation.h"

#include <QTimer>

#include "device/link/DeviceLink.h"

namespace ovrel {

void DeviceOperation::Start(DeviceLink& link) {
  link_ = &link;
  ended_ = false;
  // Begins from the event loop, so that the caller's own work after
  // starting it comes first, and a failure before the device is touched
  // arrives the same way as any other.
  QTimer::singleShot(0, this, [this] { Begin(); });
}

bool DeviceOperation::OpenPort(const QString& failureText) {
  if (Link().Port().isEmpty()) {
    // No device was found and no port was picked.
    Fail(FailureKind::NotConnected, {failureText, LinkIcon::Error, linktext::kNotConnected});
    return false;
  }
  if (const std::optional<QString> failure = Link().Line().Open(Link().Port())) {
    Fail(FailureKind::NotConnected, {failureText, LinkIcon::Error, *failure});
    return false;
  }
  return true;
}

void DeviceOperation::Step(std::uint8_t letter, std::span<const std::uint8_t> payload,
                           LinkDuration timeout, StepNext next, int block) {
  Link().Report(static_cast<char>(letter), block);
  Link().Line().Exchange(
      letter, payload, Link().Timing.SettleDelay, timeout,
      [this, next = std::move(next)](ExchangeEnd end, std::span<const std::uint8_t> reply) {
        switch (end) {
          case ExchangeEnd::Replied:
            next(reply);
            return;
          case ExchangeEnd::NoReply:
            Fail(FailureKind::NoReply);
            return;
          case ExchangeEnd::WrongReply:
            Fail(FailureKind::WrongReply);
            return;
          case ExchangeEnd::LineFailed:
            Fail(FailureKind::PortFailure,
                 {linktext::kConnectionLost, LinkIcon::Error, Link().Line().LineError()});
            return;
        }
      });
}

void DeviceOperation::Fail(FailureKind kind, LinkMessage message) {
  OperationResult result;
  result.Kind = kind;
  result.Message = std::move(message);
  result.At = Link().CurrentStep();
  Finish(std::move(result));
}

void DeviceOperation::Finish(OperationResult result) {
  if (ended_) return;
  ended_ = true;
  Link().Line().Cancel();
  Link().Line().Close();
  result.Notes.insert(result.Notes.begin(), Notes.begin(), Notes.end());
  if (!result.MemImg) result.MemImg = resultImage_;
  emit Finished(result);
}

}  // namespace ovrel
