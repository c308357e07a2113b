#pragma once
// The library upload: writes a 2048-byte session memory image into the
// device (I, C, W, 16 D, E, X, O) and compares the device's checksum with
// the image's. The upload that follows the read of an add starts with C:
// the read left the transfer open. The result carries the image it wrote.

#include "device/link/DeviceOperation.h"
#include "device/protocol/Frame.h"

namespace ovrel {

class LibraryUpload : public DeviceOperation {
  Q_OBJECT
 public:
  explicit LibraryUpload(const MemoryImage& image, bool startTransfer = true);

  int StepCount() const override { return startTransfer_ ? 22 : 21; }

 protected:
  void Begin() override;

 private:
  void SendBlock(int block);
  void Finishing(std::span<const std::uint8_t> checksumReply);

  MemoryImage image_{};
  // The checksum of the library, compared with the device's reply to X.
  std::uint8_t checksum_ = 0;
  bool startTransfer_ = true;
};

}  // namespace ovrel
