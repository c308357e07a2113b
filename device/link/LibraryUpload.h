#pragma once
// The library upload: writes a 2048-byte session memory image into the
// device (I, C, W, 16 D, E, X, O) and compares the device's checksum with
// the library's. Made from a library file, which is read when the operation
// begins, or from an image in memory (the merged library of a single-session
// add, which starts with C: its download left the transfer open). The
// result carries the image it wrote.

#include <QString>
#include <array>
#include <optional>

#include "device/link/DeviceOperation.h"
#include "device/protocol/Frame.h"

namespace ovrel {

class LibraryUpload : public DeviceOperation {
  Q_OBJECT
 public:
  explicit LibraryUpload(QString path);
  using Image = OperationResult::Image;
  LibraryUpload(const Image& image, std::uint8_t checksum, bool startTransfer);

  int StepCount() const override { return startTransfer_ ? 22 : 21; }

 protected:
  void Begin() override;

 private:
  // Reads the library file into the image; false (after failing) when it
  // cannot be uploaded.
  bool ReadLibraryFile();
  void SendBlock(int block);
  void Finishing(std::span<const std::uint8_t> checksumReply);

  QString path_;
  // Made from a file (also one with an empty name: the window's empty box).
  bool fromFile_ = false;
  Image image_{};
  // The checksum of the library, compared with the device's reply to X.
  std::uint8_t checksum_ = 0;
  bool startTransfer_ = true;
};

}  // namespace ovrel
