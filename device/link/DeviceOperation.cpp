#include "device/link/DeviceOperation.h"

#include <QTimer>

namespace ovrel {

void DeviceOperation::Start(OperationContext& context) {
  context_ = &context;
  ended_ = false;
  // Begins from the event loop, so that the caller's own work after
  // starting it comes first, and a failure before the device is touched
  // arrives the same way as any other.
  QTimer::singleShot(0, this, [this] { Begin(); });
}

bool DeviceOperation::OpenPort(LinkText failure) {
  if (Context().Port().isEmpty()) {
    // No device was found and no port was picked.
    Fail(FailureKind::NotConnected, {failure, linktext::kNotConnected, {}});
    return false;
  }
  if (const std::optional<QString> reason = Context().Line().Open(Context().Port())) {
    // A port held by another program is no sign of a device gone.
    Fail(FailureKind::NotConnected,
         {Context().Line().Busy() ? LinkText::PortBusy : failure, *reason, {}});
    return false;
  }
  return true;
}

void DeviceOperation::Step(std::uint8_t letter, std::span<const std::uint8_t> payload,
                           LinkDuration timeout, StepNext next, int block) {
  Context().Report(static_cast<char>(letter), block);
  Context().Line().Exchange(
      letter, payload, Context().Timing().SettleDelay, timeout,
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
                 {LinkText::ConnectionLost, Context().Line().LineError(), {}});
            return;
        }
      });
}

void DeviceOperation::Fail(FailureKind kind, LinkMessage message) {
  OperationResult result;
  result.Kind = kind;
  result.Message = std::move(message);
  result.At = Context().CurrentStep();
  Finish(std::move(result));
}

void DeviceOperation::Finish(OperationResult result) {
  if (ended_) return;
  ended_ = true;
  Context().Line().Cancel();
  Context().Line().Close();
  if (!result.MemImg) result.MemImg = resultImage_;
  emit Finished(result);
}

}  // namespace ovrel
