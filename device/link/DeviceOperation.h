#pragma once
// A device operation: constructed with what it sends, started with a
// narrow context (the line, the port, the timing, the progress report),
// driven step by step by the line's callbacks (no waiting inside a call),
// and ended by exactly one Finished signal with what it read. The port is
// closed (and an open transfer closed with O) before Finished is sent.
// Operations speak the protocol and nothing else: they read no file, keep
// no backup and merge nothing.

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "device/link/OperationContext.h"
#include "device/link/OperationResult.h"

namespace ovrel {

class DeviceOperation : public QObject {
  Q_OBJECT
 public:
  // The commands the operation sends when all goes well, for the progress.
  virtual int StepCount() const = 0;
  // The length of the pauses it makes with the given timing.
  virtual LinkDuration PauseLength(const LinkTiming&) const { return {}; }

  // Starts the operation in context; Finished follows from the event loop.
  void Start(OperationContext& context);

 signals:
  void Finished(const ovrel::OperationResult& result);

 protected:
  virtual void Begin() = 0;

  OperationContext& Context() const { return *context_; }
  // What runs after a step that went well, with the payload of the reply
  // (valid during the call only).
  using StepNext = std::function<void(std::span<const std::uint8_t> reply)>;
  // Reports the step and runs one exchange with the settle delay; on success
  // next runs, otherwise the port is closed and the operation fails with the
  // kind of the exchange's end.
  void Step(std::uint8_t letter, std::span<const std::uint8_t> payload, LinkDuration timeout,
            StepNext next, int block = -1);
  // Opens the context's port; on failure (or when there is no port) the
  // operation fails as not connected with the message failure. True when
  // the port is open.
  bool OpenPort(LinkText failure);
  // Ends the operation: closes the port and sends Finished.
  void Finish(OperationResult result);
  void Fail(FailureKind kind, LinkMessage message = {});
  void Succeed() { Finish({}); }
  // The memory image that goes out with the result (read or written).
  void SetResultImage(const MemoryImage& image) { resultImage_ = image; }

 private:
  OperationContext* context_ = nullptr;
  std::optional<MemoryImage> resultImage_;
  bool ended_ = false;
};

}  // namespace ovrel
