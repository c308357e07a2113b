#pragma once
// Autodetection: lists the ports and probes each with S until the device
// answers. The result names the port it ended on (the device's, or the last
// one probed), closed; a failure says why, a line for each port.

#include <QStringList>

#include "device/link/DeviceOperation.h"
#include "device/serial/SerialPort.h"

namespace ovrel {

class Autodetection : public DeviceOperation {
  Q_OBJECT
 public:
  // Lists the ports now, for the step count; a failure to list them is the
  // operation's failure when it begins.
  Autodetection();
  int StepCount() const override { return static_cast<int>(listed_.Ports.size()); }

 protected:
  void Begin() override;

 private:
  void Probe(int index);

  SerialPortList listed_;
  QStringList reasons_;
  QString lastProbed_;
};

}  // namespace ovrel
