#pragma once
// The memory download: reads the device's session memory (I, 16 r) into
// its image, optionally closing the transfer with O, and hands the image to
// the link's KeepMemoryImage once the port is closed. The result carries
// the image. A single-session add leaves the transfer open for its upload.

#include <QString>
#include <utility>

#include "device/link/DeviceOperation.h"

namespace ovrel {

class MemoryDownload : public DeviceOperation {
  Q_OBJECT
 public:
  // portFailureText, when given, is what the user is told when the port
  // cannot be opened (the read is part of another operation, as the backup
  // read before the window's upload).
  explicit MemoryDownload(bool closeTransfer, QString portFailureText = {})
      : closeTransfer_(closeTransfer), portFailureText_(std::move(portFailureText)) {}
  int StepCount() const override { return closeTransfer_ ? 18 : 17; }

 protected:
  void Begin() override;

 private:
  void ReadBlock(int block);
  // Places the payload of the reply to r for block into the image.
  void Store(int block, std::span<const std::uint8_t> reply);
  void Done();

  bool closeTransfer_;
  QString portFailureText_;
  OperationResult::Image image_{};
};

}  // namespace ovrel
