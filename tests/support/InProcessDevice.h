// The emulated device inside the test process, as the device link's port:
// each command the link writes is answered from the event loop at once (or
// after the delay the options give), so operations need no real waits.
#pragma once

#include <QObject>
#include <QString>
#include <deque>

#include "DevSimDevice.h"
#include "device/link/LinkPort.h"

namespace ovrel::test {

class InProcessDevice : public LinkPort {
 public:
  explicit InProcessDevice(const devsim::Options& options = {}) : Device(options) {}

  std::optional<SerialError> Open(const QString& path) override;
  void Close() override { Opened = false; }
  bool IsOpen() const override { return Opened; }
  std::optional<SerialError> Write(const std::uint8_t* data, int count) override;
  SerialRead Read(std::uint8_t* data, int count) override;
  // The port it was opened on last.
  const QString& Path() const { return PortPath; }

  devsim::Device Device;
  // The commands received, one letter each.
  std::string Commands;
  // When set, the port cannot be opened (the device was unplugged).
  bool Unplugged = false;

 private:
  QString PortPath;
  bool Opened = false;
  std::deque<std::uint8_t> Arrived;
  QObject Context;  // the pending deliveries die with the device
};

}  // namespace ovrel::test
