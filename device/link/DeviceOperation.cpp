#include "device/link/DeviceOperation.h"

#include <QTimer>

#include "device/link/DeviceLink.h"

namespace ovrel {

void DeviceOperation::Start(DeviceLink& link) {
  FLink = &link;
  Ended = false;
  // Begins from the event loop, so that the caller's own work after
  // starting it comes first, and a failure before the device is touched
  // arrives the same way as any other.
  QTimer::singleShot(0, this, [this] { Begin(); });
}

bool DeviceOperation::OpenPort(const QString& failureText) {
  if (const std::optional<QString> failure = Link().Line().Open()) {
    Fail(FailureKind::NotConnected, {failureText, LinkIcon::Error, *failure});
    return false;
  }
  return true;
}

void DeviceOperation::Step(std::uint8_t letter, std::span<const std::uint8_t> payload,
                           double timeout, std::function<void()> next, int block) {
  Link().Report(static_cast<char>(letter), block);
  Link().Line().Exchange(
      letter, payload, Link().Timing.SettleDelay, timeout,
      [this, next = std::move(next)](ExchangeEnd end) {
        switch (end) {
          case ExchangeEnd::Replied:
            next();
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
  if (Ended) return;
  Ended = true;
  Link().Line().Cancel();
  Link().Line().Close();
  result.Notes.insert(result.Notes.begin(), Notes.begin(), Notes.end());
  emit Finished(result);
}

}  // namespace ovrel
