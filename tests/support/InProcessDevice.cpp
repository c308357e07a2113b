#include "support/InProcessDevice.h"

#include <QTimer>
#include <algorithm>


namespace ovrel::test {

std::optional<SerialError> InProcessDevice::Open(const QString& path) {
  PortPath = path;
  if (Unplugged) return SerialError{SerialErrorKind::OpenFailed, -1, "No such file or directory"};
  Opened = true;
  Arrived.clear();
  return std::nullopt;
}

std::optional<SerialError> InProcessDevice::Write(const std::uint8_t* data, int count) {
  if (!Opened) return std::nullopt;
  // A device that hung up leaves the line dead, as a pseudo-terminal does.
  if (Device.HangupRequested())
    return SerialError{SerialErrorKind::ReadFailed, -1, "Input/output error"};
  for (const devsim::Reply& reply : Device.Feed(data, static_cast<size_t>(count))) {
    QTimer::singleShot(reply.DelayMs, &Context, [this, frame = reply.Frame] {
      if (!Opened) return;
      Arrived.insert(Arrived.end(), frame.begin(), frame.end());
      if (OnBytesArrived) OnBytesArrived(static_cast<int>(Arrived.size()));
    });
  }
  // The log names each command by its letter and a space.
  for (const std::string& line : Device.TakeLog())
    if (line.size() > 1 && line[1] == ' ') Commands += line[0];
  return std::nullopt;
}

SerialRead InProcessDevice::Read(std::uint8_t* data, int count) {
  const int n = std::min(count, static_cast<int>(Arrived.size()));
  std::copy_n(Arrived.begin(), n, data);
  Arrived.erase(Arrived.begin(), Arrived.begin() + n);
  return {n, std::nullopt};
}

}  // namespace ovrel::test
