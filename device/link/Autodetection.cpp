#include "device/link/Autodetection.h"

#include "device/link/DeviceLink.h"
#include "device/serial/ComPort.h"

namespace ovrel {

Autodetection::Autodetection() {
  ListComPorts(Ports);
}

void Autodetection::Begin() {
  Link().State.Autodetecting = true;
  Link().State.WrongReply = false;
  Link().Ui().PortsListed(Ports);
  if (Ports.isEmpty()) Reasons << linktext::kNoSerialPort;
  Probe(0);
}

void Autodetection::Probe(int index) {
  if (index >= Ports.size()) {
    Link().State.Autodetecting = false;
    Fail(FailureKind::DeviceNotFound,
         {linktext::kAutodetectionFailed, LinkIcon::Error, Reasons.join(QLatin1Char('\n'))});
    return;
  }
  const QString& port = Ports[index];
  Link().Ui().ProbingPort(index);
  Link().Line().Port().SetPath(port);
  if (const std::optional<QString> failure = Link().Line().Open()) {
    Reasons << port + QStringLiteral(": ") + *failure;
    Probe(index + 1);
    return;
  }
  Link().Report(static_cast<char>(cmd::S));
  Link().Line().Exchange(cmd::S, {}, Link().Timing.SettleDelay, Link().Timing.ReplyTimeout,
                         [this, index, port](ExchangeEnd end) {
                           Link().Line().Close();
                           if (end == ExchangeEnd::Replied) {
                             Link().State.Autodetecting = false;
                             Succeed();
                             return;
                           }
                           const QString& error = Link().Line().LineError();
                           Reasons << port + QStringLiteral(": ") +
                                          (error.isEmpty() ? linktext::kNoAnswer : error);
                           Probe(index + 1);
                         });
}

}  // namespace ovrel
