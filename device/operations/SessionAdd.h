#pragma once
// The single-session add on the wire: reads the device's memory leaving the
// transfer open (I, 16 r), asks its job what to write in its place, pauses,
// and uploads that from C on (C, W, 16 D, E, X, O). When the job writes
// nothing (the memory holds no library, the session does not fit, the
// memory could not be kept), the open transfer is closed with O and the
// add ends declined; the job knows why. The result carries the image
// written.

#include <functional>
#include <memory>
#include <optional>

#include "device/link/DeviceOperation.h"

namespace ovrel {

class SessionAdd : public DeviceOperation {
  Q_OBJECT
 public:
  // What the job makes of the memory the add read: the image to write,
  // or none to write nothing.
  using Merge = std::function<std::optional<MemoryImage>(const MemoryImage& read)>;
  explicit SessionAdd(Merge merge) : merge_(std::move(merge)) {}
  int StepCount() const override { return 17 + 21; }
  LinkDuration PauseLength(const LinkTiming& timing) const override {
    return timing.PreUploadPause;
  }

 protected:
  void Begin() override;

 private:
  void Downloaded(const OperationResult& download);
  // Closes the open transfer with O (without the settle delay), then ends
  // declined.
  void Abandon();
  // Runs a child operation; its result goes to then.
  void RunChild(std::unique_ptr<DeviceOperation> child,
                std::function<void(const OperationResult&)> then);

  Merge merge_;
  std::unique_ptr<DeviceOperation> child_;
  std::unique_ptr<DeviceOperation> endedChild_;
};

}  // namespace ovrel
