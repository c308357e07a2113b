#include "device/link/DeviceLink.h"

#include <QTimer>
#include <algorithm>
#include <exception>

#include "device/link/Autodetection.h"
#include "device/link/LibraryUpload.h"
#include "device/link/MemoryDownload.h"
#include "device/link/SessionAdd.h"
#include "device/serial/ComPort.h"

namespace ovrel {

DeviceLink::DeviceLink(TCustomComPort& port, LinkUi& ui, LinkTiming timing)
    : DeviceLink(std::make_unique<SerialLinkPort>(port), nullptr, ui, timing) {}

DeviceLink::DeviceLink(LinkPort& port, LinkUi& ui, LinkTiming timing)
    : DeviceLink(nullptr, &port, ui, timing) {}

DeviceLink::DeviceLink(std::unique_ptr<LinkPort> ownPort, LinkPort* port, LinkUi& ui,
                       LinkTiming timing)
    : Timing(timing),
      OwnPort(std::move(ownPort)),
      FLine(port ? *port : *OwnPort, State),
      FUi(ui) {}

DeviceLink::~DeviceLink() {
  // An operation cut off here leaves the port closed; its caller hears nothing.
  FLine.Cancel();
  FLine.Close();
}

QString DeviceLink::WorkingFilePath(const QString& name) const {
  return WorkingFolder.isEmpty() ? name : WorkingFolder + QLatin1Char('/') + name;
}

void DeviceLink::Run(std::unique_ptr<DeviceOperation> operation, Done done) {
  Queued entry;
  entry.Operation = std::move(operation);
  entry.OnDone = std::move(done);
  Queue.push_back(std::move(entry));
  ScheduleNext();
}

void DeviceLink::WhenIdle(std::function<void()> job) {
  Queued entry;
  entry.Job = std::move(job);
  Queue.push_back(std::move(entry));
  ScheduleNext();
}

void DeviceLink::Connect(Done done) {
  // The port list is read when the operation is made: an error there is
  // raised to the caller, before anything is queued.
  Run(std::make_unique<Autodetection>(), std::move(done));
}

void DeviceLink::UploadLibrary(const QString& path, Done done) {
  Run(std::make_unique<LibraryUpload>(path), std::move(done));
}

void DeviceLink::AddSession(const QString& path, Done done) {
  Run(std::make_unique<SessionAdd>(path), std::move(done));
}

void DeviceLink::ReadMemory(Done done) {
  Run(std::make_unique<MemoryDownload>(true), std::move(done));
}

void DeviceLink::ScheduleNext() {
  if (Running || NextScheduled || Queue.empty()) return;
  NextScheduled = true;
  QTimer::singleShot(0, this, [this] {
    NextScheduled = false;
    StartNext();
  });
}

void DeviceLink::StartNext() {
  if (Running || Queue.empty()) return;
  Queued next = std::move(Queue.front());
  Queue.pop_front();
  Running = true;
  if (next.Job) {
    // A job may open a question box: what is queued meanwhile waits for it.
    try {
      next.Job();
    } catch (...) {
      Running = false;
      ScheduleNext();
      throw;
    }
    Running = false;
    ScheduleNext();
    return;
  }
  RunningOperation = std::move(next.Operation);
  CurrentDone = std::move(next.OnDone);
  Current = {0, RunningOperation->StepCount(), 0, -1, 0};
  PauseTotal = RunningOperation->PauseLength(Timing);
  PauseEnd = Paused = 0;
  DeviceOperation* operation = RunningOperation.get();
  connect(operation, &DeviceOperation::Finished, this,
          [this, operation](const OperationResult& result) { Finished(operation, result); });
  FUi.BusyChanged(true);
  operation->Start(*this);
}

void DeviceLink::Finished(DeviceOperation* operation, const OperationResult& result) {
  if (operation != RunningOperation.get()) return;
  // The operation is still on the call stack (it sent the signal): it is
  // kept until the next one ends or the link goes.
  EndedOperation = std::move(RunningOperation);
  const Done done = std::move(CurrentDone);
  CurrentDone = nullptr;
  State.Autodetecting = false;
  Current = {};
  Running = false;
  FUi.Progress({});
  FUi.BusyChanged(false);
  ScheduleNext();
  if (done) done(result);
}

int DeviceLink::Permille(double paused) const {
  const double total = Current.Count * Timing.SettleDelay + PauseTotal;
  if (total <= 0) return 0;
  const double done = Current.Step * Timing.SettleDelay + paused;
  return std::clamp(static_cast<int>(1000.0 * done / total), 0, 1000);
}

void DeviceLink::Report(char command, int block) {
  Paused = PauseEnd;  // a pause before this step is over
  ++Current.Step;
  Current.Count = std::max(Current.Count, Current.Step);
  Current.Command = command;
  Current.Block = block;
  Current.Permille = Permille(Paused);
  FUi.Progress(Current);
}

void DeviceLink::PauseBegins(double length) {
  PauseEnd = Paused + length;
  PauseClock.start();
}

void DeviceLink::ReportPause() {
  const double passed = static_cast<double>(PauseClock.nsecsElapsed()) / 86400.0e9;
  LinkProgress pause = Current;
  pause.Command = 0;
  pause.Block = -1;
  pause.Permille = Permille(std::min(PauseEnd, Paused + passed));
  FUi.Progress(pause);
}

}  // namespace ovrel
