#pragma once
// The memory download: reads the device's session memory (I, 16 r) into
// the link's MemImgBuf, optionally closing the transfer with O, and hands
// the image to the link's KeepMemoryImage once the port is closed. A
// single-session add leaves the transfer open for its upload.

#include "device/link/DeviceOperation.h"

namespace ovrel {

class MemoryDownload : public DeviceOperation {
  Q_OBJECT
 public:
  explicit MemoryDownload(bool closeTransfer) : CloseTransfer(closeTransfer) {}
  int StepCount() const override { return CloseTransfer ? 18 : 17; }

 protected:
  void Begin() override;

 private:
  void ReadBlock(int block);
  void Done();

  bool CloseTransfer;
};

}  // namespace ovrel
