#include "device/link/Autodetection.h"

#include "device/link/DeviceLink.h"

namespace ovrel {

Autodetection::Autodetection() : listed_(ListSerialPorts()) {}

void Autodetection::Begin() {
  if (listed_.Error) {
    Fail(FailureKind::DeviceNotFound,
         {linktext::kAutodetectionFailed, LinkIcon::Error, listed_.Error->Text()});
    return;
  }
  Link().Ui().PortsListed(listed_.Ports);
  if (listed_.Ports.isEmpty()) reasons_ << linktext::kNoSerialPort;
  Probe(0);
}

void Autodetection::Probe(int index) {
  if (index >= listed_.Ports.size()) {
    OperationResult result;
    result.Kind = FailureKind::DeviceNotFound;
    result.Message = {linktext::kAutodetectionFailed, LinkIcon::Error,
                      reasons_.join(QLatin1Char('\n'))};
    result.At = Link().CurrentStep();
    result.Port = lastProbed_;
    Finish(std::move(result));
    return;
  }
  const QString& port = listed_.Ports[index];
  Link().Ui().ProbingPort(index);
  lastProbed_ = port;
  if (const std::optional<QString> failure = Link().Line().Open(port)) {
    reasons_ << port + QStringLiteral(": ") + *failure;
    Probe(index + 1);
    return;
  }
  Link().Report(static_cast<char>(cmd::S));
  Link().Line().Probe(Link().Timing.SettleDelay, Link().Timing.ReplyTimeout,
                      [this, index, port](ExchangeEnd end, std::span<const std::uint8_t>) {
                        Link().Line().Close();
                        if (end == ExchangeEnd::Replied) {
                          OperationResult found;
                          found.Port = port;
                          Finish(std::move(found));
                          return;
                        }
                        const QString& error = Link().Line().LineError();
                        reasons_ << port + QStringLiteral(": ") +
                                        (error.isEmpty() ? linktext::kNoAnswer : error);
                        Probe(index + 1);
                      });
}

}  // namespace ovrel
