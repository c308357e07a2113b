#pragma once
// A device operation: constructed with its inputs, started on the link,
// driven step by step by the line's callbacks (no waiting inside a call),
// and ended by exactly one Finished signal with its result. The port is
// closed (and an open transfer closed with O) before Finished is sent.
// Larger operations run smaller ones as children and pass their steps on.

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "device/link/LinkLine.h"
#include "device/link/LinkTiming.h"
#include "device/link/OperationResult.h"

namespace ovrel {

class DeviceLink;

class DeviceOperation : public QObject {
  Q_OBJECT
 public:
  // The commands the operation sends when all goes well, for the progress.
  virtual int StepCount() const = 0;
  // The length of the pauses it makes with the link's timing.
  virtual LinkDuration PauseLength(const LinkTiming&) const { return {}; }

  // Starts the operation on link; Finished follows from the event loop.
  void Start(DeviceLink& link);

 signals:
  void Finished(const ovrel::OperationResult& result);

 protected:
  virtual void Begin() = 0;

  DeviceLink& Link() const { return *link_; }
  // What runs after a step that went well, with the payload of the reply
  // (valid during the call only).
  using StepNext = std::function<void(std::span<const std::uint8_t> reply)>;
  // Reports the step and runs one exchange with the settle delay; on success
  // next runs, otherwise the port is closed and the operation fails with the
  // kind of the exchange's end.
  void Step(std::uint8_t letter, std::span<const std::uint8_t> payload, LinkDuration timeout,
            StepNext next, int block = -1);
  // Opens the link's port; on failure (or when the link has no port) the
  // operation fails as not connected with failureText. True when the port
  // is open.
  bool OpenPort(const QString& failureText);
  // Ends the operation: closes the port and sends Finished.
  void Finish(OperationResult result);
  void Fail(FailureKind kind, LinkMessage message = {});
  void Succeed() { Finish({}); }
  // Notes gathered along the way go out with the result.
  std::vector<LinkMessage> Notes;
  // The memory image that goes out with the result (read or written).
  void SetResultImage(const OperationResult::Image& image) { resultImage_ = image; }

 private:
  DeviceLink* link_ = nullptr;
  std::optional<OperationResult::Image> resultImage_;
  bool ended_ = false;
};

}  // namespace ovrel
