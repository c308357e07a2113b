#pragma once
// The device link: the queue and the port. It owns the line to the device
// and holds the port the operations use, runs one job at a time and queues
// the rest in the order they came (from the buttons, ovrel and the remote
// control alike). A job (LinkJob) holds the port's lock from its first
// operation to its last; a lone operation is a job of its own. The link
// knows no particular operation or job: it runs any DeviceOperation a job
// asks for, giving it only the narrow OperationContext. Everything runs on the thread of the
// event loop, driven by the port's notifications and timers; no call waits.
// Queued work starts from the event loop the link works from, never from
// the loop of a modal box or a file dialog opened on top of it.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

#include "device/link/DeviceOperation.h"
#include "device/link/LinkJob.h"
#include "device/link/LinkLine.h"
#include "device/link/LinkPort.h"
#include "device/link/LinkTiming.h"
#include "device/link/LinkUi.h"
#include "device/link/OperationContext.h"
#include "device/link/OperationResult.h"

namespace ovrel {

class SerialPort;

class DeviceLink : public QObject, private OperationContext, private JobContext {
  Q_OBJECT
 public:
  DeviceLink(SerialPort& port, LinkUi& ui, LinkTiming timing = {});
  // On another port (an in-process device in tests).
  DeviceLink(LinkPort& port, LinkUi& ui, LinkTiming timing = {});
  ~DeviceLink() override;
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  using Done = std::function<void(const OperationResult&)>;

  // Runs the operation as a job of its own: now when nothing runs, else
  // after what was queued before it; done receives its result once the
  // port is closed and its lock given up.
  void Run(std::unique_ptr<DeviceOperation> operation, Done done = {});
  // Runs the job when its turn comes; nothing else uses the port until it
  // has ended. The link owns it until then.
  void Run(std::unique_ptr<LinkJob> job);
  // True while a job runs or waits for its turn.
  bool Busy() const { return running_ || !queue_.empty(); }

  // The port the operations open: set by the port list, by autodetection
  // and by ovrel's --port. Empty until one of them sets it; an operation
  // then fails as not connected.
  void SetPort(const QString& port) { port_ = port; }
  const QString& Port() const override { return port_; }
  const LinkTiming& Timing() const override { return timing_; }
  // The line to the device (open only while an operation runs).
  LinkLine& Line() override { return line_; }

 private:
  // The rest of the operations' context.
  void PortsListed(const QStringList& ports) override { ui_.PortsListed(ports); }
  void ProbingPort(int index) override { ui_.ProbingPort(index); }
  void Report(char command, int block) override;
  void PauseBegins(LinkDuration length) override;
  void ReportPause() override;
  const LinkProgress& CurrentStep() const override { return current_; }

  // True when queued work may start now: no modal box or dialog runs its
  // own loop above the one the link works from.
  bool InOwnLoop() const;

  // Runs an operation of the running job.
  void Operate(std::unique_ptr<DeviceOperation> operation, JobContext::Then then) override;
  void ScheduleNext();
  void StartNext();
  void Finished(DeviceOperation* operation, const OperationResult& result);
  void JobEnded(LinkJob* job);
  // How far the running operation is, in thousandths, with paused of its pauses passed.
  int Permille(LinkDuration paused) const;

  // port, or when null the port it owns.
  DeviceLink(std::unique_ptr<LinkPort> ownPort, LinkPort* port, LinkUi& ui, LinkTiming timing);

  LinkTiming timing_;
  std::unique_ptr<LinkPort> ownPort_;  // the serial port's adapter
  // The deepest event loop queued work may start from.
  int ownLoopLevel_ = 1;
  LinkLine line_;
  LinkUi& ui_;
  QString port_;
  std::deque<std::unique_ptr<LinkJob>> queue_;
  std::unique_ptr<LinkJob> runningJob_;
  bool running_ = false;
  bool nextScheduled_ = false;
  std::unique_ptr<DeviceOperation> runningOperation_;
  std::unique_ptr<DeviceOperation> endedOperation_;
  JobContext::Then currentDone_;
  LinkProgress current_;
  // The pauses of the running operation, and how much of them has passed.
  LinkDuration pauseTotal_{};
  LinkDuration pauseEnd_{};
  LinkDuration paused_{};
  QElapsedTimer pauseClock_;
};

}  // namespace ovrel
