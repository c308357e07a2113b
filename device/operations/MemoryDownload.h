#pragma once
// The memory download: reads the device's session memory (I, 16 r) into
// its image, optionally closing the transfer with O. The result carries the
// image. A single-session add leaves the transfer open for its upload.

#include "device/link/DeviceOperation.h"

namespace ovrel {

class MemoryDownload : public DeviceOperation {
  Q_OBJECT
 public:
  // portFailure is what the user is told when the port cannot be opened:
  // a read of its own says that the read failed; the read before a write
  // speaks of the write.
  explicit MemoryDownload(bool closeTransfer, LinkText portFailure = LinkText::ReadPortOpenFailed)
      : closeTransfer_(closeTransfer), portFailure_(portFailure) {}
  int StepCount() const override { return closeTransfer_ ? 18 : 17; }

 protected:
  void Begin() override;

 private:
  void ReadBlock(int block);
  // Places the payload of the reply to r for block into the image.
  void Store(int block, std::span<const std::uint8_t> reply);
  void Done();

  bool closeTransfer_;
  LinkText portFailure_;
  MemoryImage image_{};
};

}  // namespace ovrel
