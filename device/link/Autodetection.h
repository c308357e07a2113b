#pragma once
// Autodetection: probes every listed port with S until the device answers.
// On success the port component's Port is the device's (closed); otherwise
// the failure says why, a line for each port.

#include <QStringList>

#include "device/link/DeviceOperation.h"

namespace ovrel {

class Autodetection : public DeviceOperation {
  Q_OBJECT
 public:
  // Lists the ports now (raises the port list's EComPort).
  Autodetection();
  int StepCount() const override { return static_cast<int>(Ports.size()); }

 protected:
  void Begin() override;

 private:
  void Probe(int index);

  QStringList Ports;
  QStringList Reasons;
};

}  // namespace ovrel
