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
  const std::optional<MemoryImage> write = merge_(*download.MemImg);
  if (!write) {
    Abandon();
    return;
  }
  const LinkDuration pause = PauseLength(Context().Timing());
  Context().PauseBegins(pause);
  Context().Line().Pause(
      pause,
      [this, image = *write] {
        RunChild(std::make_unique<LibraryUpload>(image, false),
                 [this](const OperationResult& upload) { Finish(upload); });
      },
      [this] { Context().ReportPause(); });
}

void SessionAdd::Abandon() {
  // Close the transfer the download opened: O without the settle delay.
  LinkLine& line = Context().Line();
  if (!line.IsOpen() && line.Open(Context().Port())) {
    Fail(FailureKind::Declined);
    return;
  }
  Context().Report(static_cast<char>(cmd::O));
  line.Exchange(cmd::O, {}, LinkDuration::zero(), Context().Timing().ReplyTimeout,
                [this](ExchangeEnd, auto) { Fail(FailureKind::Declined); });
}

}  // namespace ovrel
