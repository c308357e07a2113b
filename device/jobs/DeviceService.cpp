#include "device/jobs/DeviceService.h"

#include <QDateTime>
#include <QFile>
#include <QPointer>
#include <utility>

#include "device/serial/SerialPort.h"
#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"

namespace ovrel {

namespace {

// The command that begins a write of the device's memory: from here on the
// memory may be torn until the write ends.
constexpr char kWriteCommand = 'C';

}  // namespace

DeviceService::DeviceService(LinkTiming timing, QString backupFolder, QObject* parent)
    : DeviceService(std::make_unique<SerialPort>(), nullptr, timing, std::move(backupFolder),
                    parent) {}

DeviceService::DeviceService(LinkPort& port, LinkTiming timing, QString backupFolder,
                             QObject* parent)
    : DeviceService(nullptr, &port, timing, std::move(backupFolder), parent) {}

DeviceService::DeviceService(std::unique_ptr<SerialPort> serial, LinkPort* port, LinkTiming timing,
                             QString backupFolder, QObject* parent)
    : QObject(parent), serial_(std::move(serial)) {
  link_ = port ? std::make_unique<DeviceLink>(*port, ui_, timing)
               : std::make_unique<DeviceLink>(*serial_, ui_, timing);
  jobs_ = std::make_unique<DeviceJobs>(*link_, std::move(backupFolder));
}

DeviceService::~DeviceService() {
  // The link goes first: it cuts off what runs, and its callers hear nothing.
  jobs_.reset();
  link_.reset();
}

void DeviceService::ClosePort() {
  if (serial_) serial_->Close();
}

DeviceService::Done DeviceService::Ended(Done done, const QString& what) {
  return [self = QPointer<DeviceService>(this), done = std::move(done),
          what](const JobResult& result) {
    if (self) emit self->JobEnded(result);
    if (done) done(result);
    if (self && result.Ok() && result.MemImg && !what.isEmpty())
      emit self->MemoryChanged(result, what);
  };
}

DeviceJob* DeviceService::Connect(Done done) {
  return jobs_->Connect(Ended(std::move(done), {}));
}

DeviceJob* DeviceService::Read(Done done, std::optional<BackupReason> reason) {
  return jobs_->Read(Ended(std::move(done), {}), reason);
}

DeviceJob* DeviceService::UploadFile(const QString& path, WriteOptions options, Done done,
                                     BackupReason reason, const QString& what) {
  return jobs_->UploadFile(path, std::move(options), Ended(std::move(done), what), reason);
}

DeviceJob* DeviceService::Restore(const QString& path, WriteOptions options, Done done,
                                  const QString& what) {
  return jobs_->Restore(path, std::move(options), Ended(std::move(done), what));
}

DeviceJob* DeviceService::Write(const MemoryImage& image, WriteOptions options, Done done,
                                BackupReason reason, const QString& what) {
  return jobs_->Write(image, std::move(options), Ended(std::move(done), what), reason);
}

DeviceJob* DeviceService::Edit(WriteJob::Edit edit, WriteOptions options, Done done,
                               const QString& what) {
  return jobs_->Edit(std::move(edit), std::move(options), Ended(std::move(done), what));
}

DeviceJob* DeviceService::Add(const QString& path, WriteOptions options, Done done,
                              const QString& what) {
  return jobs_->Add(path, std::move(options), Ended(std::move(done), what));
}

void DeviceService::Ui::Progress(const LinkProgress& progress) {
  if (progress.Command == kWriteCommand) service_.MarkWriting();
  // Step 0 of 0: the operation has ended (the write too, if it was one).
  const bool ended = progress.Count == 0;
  emit service_.Progress(progress);
  if (ended) service_.WritingEnded();
}

void DeviceService::Ui::BusyChanged(bool busy) {
  if (!busy) service_.WritingEnded();
  emit service_.BusyChanged(busy);
}

void DeviceService::MarkWriting() {
  if (std::exchange(writing_, true)) return;
  emit WriteBegan();
  if (writeMarker_.isEmpty()) return;
  const QString text = link_->Port() + QLatin1Char('\n') +
                       QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char('\n');
  // Best effort: a marker that cannot be written stops no write.
  static_cast<void>(
      WriteFileAtomically(QFile::encodeName(writeMarker_).toStdString(), text.toStdString()));
}

void DeviceService::WritingEnded() {
  if (!writing_) return;
  writing_ = false;
  if (!writeMarker_.isEmpty()) QFile::remove(writeMarker_);
  emit WriteEnded();
}

std::optional<CutOffWrite> DeviceService::WriteCutOff() const {
  if (writeMarker_.isEmpty() || writing_) return std::nullopt;
  const FileBytes file = ReadFileBytes(QFile::encodeName(writeMarker_).toStdString(), 4096);
  if (!file) return std::nullopt;
  const QStringList lines = QString::fromStdString(*file).split(QLatin1Char('\n'));
  return CutOffWrite{lines.value(0), lines.value(1)};
}

void DeviceService::ForgetCutOffWrite() {
  if (!writeMarker_.isEmpty() && !writing_) QFile::remove(writeMarker_);
}

}  // namespace ovrel
