#include "device/link/LinkJob.h"

namespace ovrel {

void LinkJob::Start(JobContext& context) {
  context_ = &context;
  Begin();
}

void LinkJob::Operate(std::unique_ptr<DeviceOperation> operation, JobContext::Then then) {
  if (context_) context_->Operate(std::move(operation), std::move(then));
}

void LinkJob::End() {
  if (!context_) return;
  context_ = nullptr;
  emit Ended();
}

void CallJob::Begin() {
  // The call may open a question box: what is queued meanwhile waits for it.
  struct EndOnExit {
    CallJob* Job;
    ~EndOnExit() { Job->End(); }
  } end{this};
  if (call_) call_();
}

void OperationJob::Begin() {
  Operate(std::move(operation_), [this](const OperationResult& result) {
    // The port is given up before whoever asked hears of the result.
    const JobContext::Then done = std::move(done_);
    End();
    if (done) done(result);
  });
}

}  // namespace ovrel
