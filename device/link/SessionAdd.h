#pragma once
// The single-session add: reads the session file, downloads the device's
// library (leaving the transfer open), keeps it as "SVPMemImg.svl", merges
// the session into it, pauses, and uploads the result from C on; the merged
// library is kept as "TempSesLib.svl". A session file that cannot be added
// leaves the device alone; a failure after the download closes the transfer
// with O.

#include <QString>
#include <memory>
#include <optional>

#include "device/link/DeviceOperation.h"
#include "library/LibraryImage.h"
#include "library/SessionScan.h"

namespace ovrel {

class SessionAdd : public DeviceOperation {
  Q_OBJECT
 public:
  explicit SessionAdd(QString path) : path_(std::move(path)) {}
  int StepCount() const override { return 17 + 21; }
  LinkDuration PauseLength(const LinkTiming& timing) const override {
    return timing.PreUploadPause;
  }

 protected:
  void Begin() override;

 private:
  bool ReadSessionFile();
  void Downloaded(const OperationResult& download);
  void Upload(const OperationResult::Image& image, std::uint8_t checksum, int libraryLength);
  // Closes the open transfer with O (without the settle delay), then fails.
  void Abandon(FailureKind kind, LinkMessage message);
  // Writes a working file; on failure returns why.
  std::optional<QString> SaveWorkingFile(const QString& name, std::span<const std::uint8_t> bytes);
  // Runs a child operation; its result goes to then.
  void RunChild(std::unique_ptr<DeviceOperation> child,
                std::function<void(const OperationResult&)> then);

  QString path_;
  std::optional<SessionRecord> session_;
  std::unique_ptr<DeviceOperation> child_;
  std::unique_ptr<DeviceOperation> endedChild_;
};

}  // namespace ovrel
