#pragma once
// The device service: the one owner of the serial port, the device link and
// the device jobs of a program. Every front end of the program (the main
// window, the Memory window, the remote control) starts its jobs here, and
// every one of them hears how each job ended, whoever started it: busy,
// progress, the end of a job and a changed memory come as signals.
//
// While a write runs, a marker file says so (SetWriteMarker): a program
// killed in the middle of a write leaves it behind, and the next start
// finds it (WriteCutOff) and can offer to restore the memory.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "device/jobs/DeviceJobs.h"
#include "device/jobs/JobResult.h"
#include "device/link/DeviceLink.h"
#include "device/link/LinkUi.h"

namespace ovrel {

class SerialPort;
class LinkPort;

// A write of an earlier run that did not end: what its marker file says.
struct CutOffWrite {
  QString Port;     // the port it wrote to
  QString Started;  // when it began (ISO date and time)
};

class DeviceService : public QObject {
  Q_OBJECT
 public:
  using Done = DeviceJobs::Done;

  // On the serial port it owns. backupFolder: where backups are kept;
  // empty: the per-user history.
  explicit DeviceService(LinkTiming timing = {}, QString backupFolder = {},
                         QObject* parent = nullptr);
  // On another port (an in-process device in tests).
  DeviceService(LinkPort& port, LinkTiming timing = {}, QString backupFolder = {},
                QObject* parent = nullptr);
  ~DeviceService() override;
  DeviceService(const DeviceService&) = delete;
  DeviceService& operator=(const DeviceService&) = delete;

  DeviceLink& Link() { return *link_; }
  // True while a job runs or waits for its turn.
  bool Busy() const { return link_->Busy(); }
  void SetPort(const QString& port) { link_->SetPort(port); }
  const QString& Port() const { return link_->Port(); }
  // Closes the serial port (the program ends).
  void ClosePort();
  // Runs job in the queue when its turn comes (it may ask the user).
  void AfterQueued(std::function<void()> call) { jobs_->AfterQueued(std::move(call)); }

  // The jobs (see DeviceJobs). what: how a successful write is told to
  // the other front ends in MemoryChanged ("a session was added"); empty:
  // not told (the front end that wrote shows it itself).
  // Each returns the job it queued, whose stages its starter may follow.
  DeviceJob* Connect(Done done);
  DeviceJob* Read(Done done, std::optional<BackupReason> reason = BackupReason::Read);
  DeviceJob* UploadFile(const QString& path, WriteOptions options, Done done,
                        BackupReason reason = BackupReason::BeforeUpload, const QString& what = {});
  DeviceJob* Restore(const QString& path, WriteOptions options, Done done,
                     const QString& what = {});
  DeviceJob* Write(const MemoryImage& image, WriteOptions options, Done done,
                   BackupReason reason = BackupReason::BeforeUpload, const QString& what = {});
  DeviceJob* Edit(WriteJob::Edit edit, WriteOptions options, Done done, const QString& what = {});
  DeviceJob* Add(const QString& path, WriteOptions options, Done done, const QString& what = {});

  // The file that exists while a write runs; empty: none is kept.
  void SetWriteMarker(const QString& path) { writeMarker_ = path; }
  // The write an earlier run left unfinished, from the marker it left.
  std::optional<CutOffWrite> WriteCutOff() const;
  // Forgets the unfinished write of an earlier run (its marker goes).
  void ForgetCutOffWrite();
  // True from the moment a write reaches the device (its C) until the
  // operation that writes has ended; a verification after it is no write.
  bool Writing() const { return writing_; }

 signals:
  void PortsListed(const QStringList& ports);
  void ProbingPort(int index);
  void Progress(const LinkProgress& progress);
  void BusyChanged(bool busy);
  // A write reached the device: from now on its memory is being replaced.
  void WriteBegan();
  // The write that began has ended, well or not, before its job goes on
  // (to a verification) or tells its end.
  void WriteEnded();
  // A job ended, before its starter hears of it.
  void JobEnded(const ovrel::JobResult& result);
  // A job changed the device's memory (result.MemImg holds what it holds
  // now), after its starter heard of it.
  void MemoryChanged(const ovrel::JobResult& result, const QString& what);

 private:
  // What the link tells, passed on as the service's signals.
  class Ui : public LinkUi {
   public:
    explicit Ui(DeviceService& service) : service_(service) {}
    void PortsListed(const QStringList& ports) override { emit service_.PortsListed(ports); }
    void ProbingPort(int index) override { emit service_.ProbingPort(index); }
    void Progress(const LinkProgress& progress) override;
    void BusyChanged(bool busy) override;

   private:
    DeviceService& service_;
  };

  DeviceService(std::unique_ptr<SerialPort> serial, LinkPort* port, LinkTiming timing,
                QString backupFolder, QObject* parent);
  // The done of a job: tells the front ends, then the starter.
  Done Ended(Done done, const QString& what);
  // The write marker: made when a write reaches the device, gone at its end.
  void MarkWriting();
  void WritingEnded();

  Ui ui_{*this};
  std::unique_ptr<SerialPort> serial_;
  std::unique_ptr<DeviceLink> link_;
  std::unique_ptr<DeviceJobs> jobs_;
  QString writeMarker_;
  bool writing_ = false;
};

}  // namespace ovrel
