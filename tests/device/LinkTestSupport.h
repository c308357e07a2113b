// Shared pieces of the device link tests: a LinkUi that records what the
// link shows, library images, and reading the emulator's command log.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "device/jobs/DeviceJobs.h"
#include "device/link/DeviceLink.h"
#include "library/LibraryImage.h"
#include "library/SessionScan.h"

namespace ovrel::test {

using Bytes = std::vector<std::uint8_t>;

class RecordingUi : public LinkUi {
 public:
  using Message = JobMessage;
  // Keeps what a caller would show of the result: its notes and message.
  void Show(const JobResult& result) {
    Messages.insert(Messages.end(), result.Notes.begin(), result.Notes.end());
    if (!result.Message.Empty()) Messages.push_back(result.Message);
  }
  void PortsListed(const QStringList& ports) override { Ports = ports; }
  void ProbingPort(int index) override { Probed.push_back(index); }
  void Progress(const LinkProgress& progress) override {
    Steps.push_back(progress);
    StepTimesMs.push_back(Clock.elapsed());
  }
  void BusyChanged(bool busy) override { BusyEvents.push_back(busy); }

  std::vector<Message> Messages;
  QStringList Ports;
  std::vector<int> Probed;
  std::vector<LinkProgress> Steps;
  std::vector<qint64> StepTimesMs;  // when each step was reported
  std::vector<bool> BusyEvents;

 private:
  struct StartedClock : QElapsedTimer {
    StartedClock() { start(); }
  } Clock;
};

// The options of a write that keeps no backup: the operation alone on the wire.
inline WriteOptions Plain() {
  WriteOptions options;
  options.Backup = false;
  return options;
}

// Runs one operation of a link to its end: start queues it with the callback
// it is given; the event loop runs until the result has come.
// An operation that has not ended after two minutes waits for something
// that never comes.
inline JobResult RunToEnd(const std::function<void(DeviceJobs::Done)>& start) {
  std::optional<JobResult> result;
  bool over = false;
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, [&over] { over = true; });
  limit.start(std::chrono::minutes(2));
  start([&](const JobResult& r) { result = r; });
  while (!result && !over) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  if (!result) {
    ADD_FAILURE() << "the operation did not end";
    return JobResult{};
  }
  return *result;
}

// The letters of the commands the emulator logged, in order.
inline std::string LoggedCommands(const std::string& log) {
  const std::string prefix = "ovrel-devsim: ";
  std::string out;
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0 && line.size() > prefix.size() + 1 &&
        line[prefix.size() + 1] == ' ') {
      out += line[prefix.size()];
    }
  }
  return out;
}

inline std::string Repeat(char c, int n) {
  return std::string(static_cast<std::size_t>(n), c);
}

// The commands of a whole library upload.
inline std::string UploadCommands(bool withI = true) {
  return (withI ? "I" : "") + std::string("CW") + Repeat('D', 16) + "EXO";
}

// A library image of one session with the given number of segments, L + 1 bytes.
inline Bytes LibraryWithSegments(int segments) {
  std::array<std::uint8_t, SesMemSize> img{0x17, 0x00, 0x00, 0x04, 0x13};
  SessionRecord s;
  s.Minutes = 1;
  for (int i = 0; i < segments; ++i) {
    s.Segments.push_back({static_cast<std::uint8_t>(36 + i % 5), 10, 12, 100, 120});
  }
  const AppendOutcome m = AppendSession(img, s);
  return Bytes(img.begin(), img.begin() + (m.Fits ? m.L + 1 : 5));
}

inline Bytes Padded(Bytes bytes) {
  bytes.resize(SesMemSize, 0);
  return bytes;
}

inline void WriteFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(data);
}

inline void WriteFile(const QString& path, const Bytes& data) {
  WriteFile(path, QByteArray(reinterpret_cast<const char*>(data.data()),
                             static_cast<qsizetype>(data.size())));
}

inline Bytes ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = f.readAll();
  return Bytes(data.begin(), data.end());
}

// The session of the worked example: length 1:00, one segment 36,10,10,100,100.
inline const QByteArray kOneSegmentSession = "version=23\r\n1,0,\r\n36,10,10,100,100,\r\n0,\r\n";

}  // namespace ovrel::test
