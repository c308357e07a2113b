#include "device/operations/Autodetection.h"

namespace ovrel {

Autodetection::Autodetection() : listed_(ListSerialPorts()) {}

void Autodetection::Begin() {
  if (listed_.Error) {
    Fail(FailureKind::DeviceNotFound,
         {LinkText::AutodetectionFailed, listed_.Error->Text(), {}});
    return;
  }
  Context().PortsListed(listed_.Ports);
  if (listed_.Ports.isEmpty()) reasons_ << LinkTextOf(LinkText::NoSerialPort);
  Probe(0);
}

void Autodetection::Probe(int index) {
  if (index >= listed_.Ports.size()) {
    OperationResult result;
    result.Kind = FailureKind::DeviceNotFound;
    result.Message = {LinkText::AutodetectionFailed, reasons_.join(QLatin1Char('\n')), {}};
    result.At = Context().CurrentStep();
    result.Port = lastProbed_;
    Finish(std::move(result));
    return;
  }
  const QString& port = listed_.Ports[index];
  Context().ProbingPort(index);
  lastProbed_ = port;
  if (const std::optional<QString> failure = Context().Line().Open(port)) {
    reasons_ << port + QStringLiteral(": ") + *failure;
    Probe(index + 1);
    return;
  }
  Context().Report(static_cast<char>(cmd::S));
  Context().Line().Probe(Context().Timing().SettleDelay, Context().Timing().ReplyTimeout,
                      [this, index, port](ExchangeEnd end, std::span<const std::uint8_t>) {
                        Context().Line().Close();
                        if (end == ExchangeEnd::Replied) {
                          OperationResult found;
                          found.Port = port;
                          Finish(std::move(found));
                          return;
                        }
                        const QString& error = Context().Line().LineError();
                        reasons_ << port + QStringLiteral(": ") +
                                        (error.isEmpty() ? LinkTextOf(LinkText::NoAnswer) : error);
                        Probe(index + 1);
                      });
}

}  // namespace ovrel
