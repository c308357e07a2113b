#pragma once
// One entry of the link's queue: a job that runs one or more operations
// and holds the port's lock from its first exchange to its last, so that
// no other program and no other client of this one comes between them
// (between the read of what a write replaces and the write, above all).
// The link starts it when its turn comes; it ends with End, which gives
// the lock up and lets the next entry start.

#include <QObject>
#include <functional>
#include <memory>

#include "device/link/DeviceOperation.h"
#include "device/link/OperationResult.h"

namespace ovrel {

// What a running job may ask of the link.
class JobContext {
 public:
  using Then = std::function<void(const OperationResult&)>;
  // Runs operation now, on the port the job holds; then receives its result
  // once its port is closed (the lock stays with the job).
  virtual void Operate(std::unique_ptr<DeviceOperation> operation, Then then) = 0;

 protected:
  ~JobContext() = default;
};

class LinkJob : public QObject {
  Q_OBJECT
 public:
  // Called by the link when the job's turn comes.
  void Start(JobContext& context);
  bool Running() const { return context_ != nullptr; }

 signals:
  // The job is over: the link releases the port and its lock.
  void Ended();

 protected:
  virtual void Begin() = 0;
  void Operate(std::unique_ptr<DeviceOperation> operation, JobContext::Then then);
  // Ends the job; nothing runs for it afterwards.
  void End();

 private:
  JobContext* context_ = nullptr;
};

// A job that runs one function when its turn comes and ends with it (work
// that must not start in the middle of another job).
class CallJob : public LinkJob {
  Q_OBJECT
 public:
  explicit CallJob(std::function<void()> call) : call_(std::move(call)) {}

 protected:
  void Begin() override;

 private:
  std::function<void()> call_;
};

// A job of one operation, whose result goes to done.
class OperationJob : public LinkJob {
  Q_OBJECT
 public:
  OperationJob(std::unique_ptr<DeviceOperation> operation, JobContext::Then done)
      : operation_(std::move(operation)), done_(std::move(done)) {}

 protected:
  void Begin() override;

 private:
  std::unique_ptr<DeviceOperation> operation_;
  JobContext::Then done_;
};

}  // namespace ovrel
