#include "device/jobs/DeviceJobs.h"

namespace ovrel {

DeviceJobs::DeviceJobs(DeviceLink& link, QString backupFolder)
    : link_(link), backupFolder_(std::move(backupFolder)) {}

DeviceJob* DeviceJobs::Queue(std::unique_ptr<DeviceJob> job, Done done) {
  job->WhenDone(std::move(done));
  DeviceJob* queued = job.get();
  link_.Run(std::move(job));
  return queued;
}

DeviceJob* DeviceJobs::Connect(Done done) {
  return Queue(std::make_unique<ConnectJob>(link_), std::move(done));
}

DeviceJob* DeviceJobs::Read(Done done, std::optional<BackupReason> reason) {
  return Queue(std::make_unique<ReadJob>(reason, backupFolder_), std::move(done));
}

DeviceJob* DeviceJobs::UploadFile(const QString& path, WriteOptions options, Done done,
                                  BackupReason reason) {
  return Queue(WriteJob::OfFile(JobKind::Upload, path, std::move(options), reason, backupFolder_),
               std::move(done));
}

DeviceJob* DeviceJobs::Restore(const QString& path, WriteOptions options, Done done) {
  return Queue(WriteJob::OfFile(JobKind::Restore, path, std::move(options), BackupReason::Read,
                                backupFolder_),
               std::move(done));
}

DeviceJob* DeviceJobs::Write(const MemoryImage& image, WriteOptions options, Done done,
                             BackupReason reason) {
  return Queue(WriteJob::OfImage(image, std::move(options), reason, backupFolder_),
               std::move(done));
}

DeviceJob* DeviceJobs::Edit(WriteJob::Edit edit, WriteOptions options, Done done) {
  return Queue(WriteJob::OfEdit(std::move(edit), std::move(options), backupFolder_),
               std::move(done));
}

DeviceJob* DeviceJobs::Add(const QString& path, WriteOptions options, Done done) {
  return Queue(std::make_unique<AddJob>(path, std::move(options), backupFolder_), std::move(done));
}

void DeviceJobs::AfterQueued(std::function<void()> call) {
  link_.Run(std::make_unique<CallJob>(std::move(call)));
}

}  // namespace ovrel
