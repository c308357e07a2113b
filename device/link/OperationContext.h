#pragma once
// What a device operation may reach while it runs: the line to the device,
// the port to open, the timing, and the progress report. The runner
// (DeviceLink) gives each operation this and nothing more, so that an
// operation cannot reach the queue, the files or the user interface.

#include <QString>

#include "device/link/LinkLine.h"
#include "device/link/LinkTiming.h"
#include "device/link/LinkUi.h"

namespace ovrel {

class OperationContext {
 public:
  virtual LinkLine& Line() = 0;
  virtual const LinkTiming& Timing() const = 0;
  // The port the operation opens; empty when none was set.
  virtual const QString& Port() const = 0;
  // Autodetection's report of the ports it probes.
  virtual void PortsListed(const QStringList& ports) = 0;
  virtual void ProbingPort(int index) = 0;
  // Reports the command just sent as the operation's next step.
  virtual void Report(char command, int block = -1) = 0;
  // A pause of the given length starts; ReportPause reports time passing in it.
  virtual void PauseBegins(LinkDuration length) = 0;
  virtual void ReportPause() = 0;
  virtual const LinkProgress& CurrentStep() const = 0;

 protected:
  ~OperationContext() = default;
};

}  // namespace ovrel
