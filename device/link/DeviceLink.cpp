#include "device/link/DeviceLink.h"

#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <exception>

#include "device/serial/SerialPort.h"

namespace ovrel {

namespace {

// How often queued work asks again whether it may start.
constexpr std::chrono::milliseconds kStartRecheck{20};

}  // namespace

DeviceLink::DeviceLink(SerialPort& port, LinkUi& ui, LinkTiming timing)
    : DeviceLink(std::make_unique<SerialLinkPort>(port), nullptr, ui, timing) {}

DeviceLink::DeviceLink(LinkPort& port, LinkUi& ui, LinkTiming timing)
    : DeviceLink(nullptr, &port, ui, timing) {}

DeviceLink::DeviceLink(std::unique_ptr<LinkPort> ownPort, LinkPort* port, LinkUi& ui,
                       LinkTiming timing)
    : timing_(timing),
      ownPort_(std::move(ownPort)),
      // Work starts from the loop the link runs in (the application's,
      // ovrel's) and waits while a box or a dialog runs a loop on top of
      // it. The link is made either before that loop runs (then it is one
      // level deeper) or from inside it, as a program that makes its
      // windows once its splash shows does: then it is this very level.
      ownLoopLevel_(std::max(1, QThread::currentThread()->loopLevel())),
      line_(port ? *port : *ownPort_),
      ui_(ui) {}

DeviceLink::~DeviceLink() {
  // An operation cut off here leaves the port closed; its caller hears nothing.
  line_.Cancel();
  line_.Release();
}

void DeviceLink::Run(std::unique_ptr<DeviceOperation> operation, Done done) {
  Run(std::make_unique<OperationJob>(std::move(operation), std::move(done)));
}

void DeviceLink::Run(std::unique_ptr<LinkJob> job) {
  queue_.push_back(std::move(job));
  ScheduleNext();
}

bool DeviceLink::InOwnLoop() const {
  return QThread::currentThread()->loopLevel() <= ownLoopLevel_;
}

void DeviceLink::ScheduleNext() {
  if (running_ || nextScheduled_ || queue_.empty()) return;
  nextScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    nextScheduled_ = false;
    StartNext();
  });
}

void DeviceLink::StartNext() {
  if (running_ || queue_.empty()) return;
  if (!InOwnLoop()) {
    nextScheduled_ = true;
    QTimer::singleShot(kStartRecheck, this, [this] {
      nextScheduled_ = false;
      StartNext();
    });
    return;
  }
  runningJob_ = std::move(queue_.front());
  queue_.pop_front();
  running_ = true;
  LinkJob* job = runningJob_.get();
  connect(job, &LinkJob::Ended, this, [this, job] { JobEnded(job); });
  ui_.BusyChanged(true);
  job->Start(static_cast<JobContext&>(*this));
}

void DeviceLink::Operate(std::unique_ptr<DeviceOperation> operation, JobContext::Then then) {
  // The operation that ended last may still be on the call stack.
  if (runningOperation_) endedOperation_ = std::move(runningOperation_);
  runningOperation_ = std::move(operation);
  currentDone_ = std::move(then);
  current_ = {0, runningOperation_->StepCount(), 0, -1, 0};
  pauseTotal_ = runningOperation_->PauseLength(timing_);
  pauseEnd_ = paused_ = LinkDuration::zero();
  DeviceOperation* running = runningOperation_.get();
  connect(running, &DeviceOperation::Finished, this,
          [this, running](const OperationResult& result) { Finished(running, result); });
  running->Start(static_cast<OperationContext&>(*this));
}

void DeviceLink::Finished(DeviceOperation* operation, const OperationResult& result) {
  if (operation != runningOperation_.get()) return;
  // The operation is still on the call stack (it sent the signal): it is
  // kept until the next one ends or the link goes.
  endedOperation_ = std::move(runningOperation_);
  // The port is closed; its lock stays with the job until the job ends.
  line_.Close();
  const JobContext::Then done = std::move(currentDone_);
  currentDone_ = nullptr;
  current_ = {};
  ui_.Progress({});
  if (done) done(result);
}

void DeviceLink::JobEnded(LinkJob* job) {
  if (job != runningJob_.get()) return;
  // The job is still on the call stack (it sent the signal).
  runningJob_.release()->deleteLater();
  line_.Cancel();
  line_.Release();
  running_ = false;
  ui_.BusyChanged(false);
  ScheduleNext();
}

int DeviceLink::Permille(LinkDuration paused) const {
  const LinkDuration total = current_.Count * timing_.SettleDelay + pauseTotal_;
  if (total <= LinkDuration::zero()) return 0;
  const LinkDuration done = current_.Step * timing_.SettleDelay + paused;
  return std::clamp(static_cast<int>(1000.0 * static_cast<double>(done.count()) /
                                     static_cast<double>(total.count())),
                    0, 1000);
}

void DeviceLink::Report(char command, int block) {
  paused_ = pauseEnd_;  // a pause before this step is over
  ++current_.Step;
  current_.Count = std::max(current_.Count, current_.Step);
  current_.Command = command;
  current_.Block = block;
  current_.Permille = Permille(paused_);
  ui_.Progress(current_);
}

void DeviceLink::PauseBegins(LinkDuration length) {
  pauseEnd_ = paused_ + length;
  pauseClock_.start();
}

void DeviceLink::ReportPause() {
  const LinkDuration passed(pauseClock_.nsecsElapsed());
  LinkProgress pause = current_;
  pause.Command = 0;
  pause.Block = -1;
  pause.Permille = Permille(std::min(pauseEnd_, paused_ + passed));
  ui_.Progress(pause);
}

}  // namespace ovrel
