#pragma once
// The memory download: reads the device's session memory (I, 16 r) into
// its image, optionally closing the transfer with O, and hands the image to
// the link's KeepMemoryImage once the port is closed. The result carries
// the image. A single-session add leaves the transfer open for its upload.

#include "device/link/DeviceOperation.h"

namespace ovrel {

class MemoryDownload : public DeviceOperation {
  Q_OBJECT
 public:
  explicit MemoryDownload(bool closeTransfer) : closeTransfer_(closeTransfer) {}
  int StepCount() const override { return closeTransfer_ ? 18 : 17; }

 protected:
  void Begin() override;

 private:
  void ReadBlock(int block);
  // Places the payload of the reply to r for block into the image.
  void Store(int block, std::span<const std::uint8_t> reply);
  void Done();

  bool closeTransfer_;
  OperationResult::Image image_{};
};

}  // namespace ovrel
