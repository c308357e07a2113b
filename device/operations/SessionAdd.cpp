#include "device/operations/SessionAdd.h"

#include "device/operations/LibraryUpload.h"
#include "device/operations/MemoryDownload.h"

namespace ovrel {

void SessionAdd::Begin() {
  RunChild(std::make_unique<MemoryDownload>(false, LinkText::PortOpenFailed),
           [this](const OperationResult& download) { Downloaded(download); });
}

void SessionAdd::RunChild(std::unique_ptr<DeviceOperation> child,
                          std::function<void(const OperationResult&)> then) {
  // The child that just finished may still be on the call stack.
  endedChild_ = std::move(child_);
  child_ = std::move(child);
  connect(child_.get(), &DeviceOperation::Finished, this,
          [then = std::move(then)](const OperationResult& result) { then(result); });
  child_->Start(Context());
}

void SessionAdd::Downloaded(const OperationResult& download) {
  if (!download.Ok()) {
    Finish(download);
    return;
  }
  // The download's result always carries the image it read.
  const AddPlan plan = merge_(*download.MemImg);
  if (!plan.Write) {
    Abandon(plan.Kind, plan.Message);
    return;
  }
  const LinkDuration pause = PauseLength(Context().Timing());
  Context().PauseBegins(pause);
  Context().Line().Pause(
      pause,
      [this, image = *plan.Write] {
        RunChild(std::make_unique<LibraryUpload>(image, false),
                 [this](const OperationResult& upload) { Finish(upload); });
      },
      [this] { Context().ReportPause(); });
}

void SessionAdd::Abandon(FailureKind kind, LinkMessage message) {
  // Close the transfer the download opened: O without the settle delay.
  LinkLine& line = Context().Line();
  if (!line.IsOpen() && line.Open(Context().Port())) {
    Fail(kind, std::move(message));
    return;
  }
  Context().Report(static_cast<char>(cmd::O));
  line.Exchange(cmd::O, {}, LinkDuration::zero(), Context().Timing().ReplyTimeout,
                [this, kind, message = std::move(message)](ExchangeEnd, auto) {
                  Fail(kind, message);
                });
}

}  // namespace ovrel
