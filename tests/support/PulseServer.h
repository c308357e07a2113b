#pragma once
// A PulseAudio server of the test's own, with one null sink as its default
// output, in a private runtime folder (so that it never meets the desktop's
// server or another test's), and a recording of what reaches that sink.
// Not being able to start it is a failure with its reason, never a skip.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ovrel::test {

class PulseServer {
 public:
  static constexpr const char* kSink = "ovrel_test";

  // Starts the server; Error() says why when it did not.
  PulseServer() { Start(); }
  ~PulseServer() {
    StopRecording();
    Kill();
  }
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  const std::string& Error() const { return error_; }

  // Ends the server at once, as a crash would.
  void Kill() {
    server_.kill();
    server_.waitForFinished();
  }
  // Starts it again at the same address, as the desktop restarts it.
  void Restart() {
    Kill();
    error_.clear();
    Start();
  }
  QString Address() const { return "unix:" + Socket(); }

  // Records the sink's monitor (16-bit stereo, 44100 Hz) into a file. Once
  // it returns, the sink plays what it is given at once: an idle null sink
  // first finishes a block of two seconds, and the recording's low latency
  // then keeps its blocks short.
  bool StartRecording() {
    recorder_.setStandardOutputFile(dir_.filePath(QStringLiteral("recording.raw")));
    recorder_.start(QStringLiteral("parec"),
                    {"-s", Address(), "-d", QStringLiteral("%1.monitor").arg(kSink),
                     "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=20"});
    if (!recorder_.waitForStarted(5000)) return false;
    // Until the recording's stream is connected.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
      QProcess list;
      list.start(QStringLiteral("pactl"), {"-s", Address(), "list", "short", "source-outputs"});
      if (list.waitForFinished(5000) && !list.readAllStandardOutput().trimmed().isEmpty()) break;
      QTest::qWait(50);
    }
    const QString file = dir_.filePath(QStringLiteral("recording.raw"));
    return QTest::qWaitFor([&file] { return QFileInfo(file).size() > 0; }, 10000);
  }
  // Stops the recording and returns its samples, interleaved.
  std::vector<int16_t> StopRecording() {
    if (recorder_.state() == QProcess::NotRunning) return {};
    recorder_.terminate();
    recorder_.waitForFinished(5000);
    QFile f(dir_.filePath(QStringLiteral("recording.raw")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    std::vector<int16_t> samples(static_cast<std::size_t>(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
  }

 private:
  void Start() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
    env.insert(QStringLiteral("HOME"), dir_.path());
    env.remove(QStringLiteral("PULSE_SERVER"));
    server_.setProcessEnvironment(env);
    server_.setProcessChannelMode(QProcess::MergedChannels);
    server_.start(
        QStringLiteral("pulseaudio"),
        {"--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no", "--disable-shm=yes",
         "--log-target=stderr",
         QStringLiteral("--load=module-null-sink sink_name=%1 rate=44100 norewinds=1").arg(kSink),
         QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=%1")
             .arg(Socket())});
    if (!server_.waitForStarted(10000)) {
      error_ = "pulseaudio did not start: " + server_.errorString().toStdString();
      return;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 15000) {
      if (server_.state() != QProcess::Running) break;
      QProcess info;
      info.start(QStringLiteral("pactl"), {"-s", Address(), "info"});
      if (info.waitForFinished(5000) && info.exitStatus() == QProcess::NormalExit &&
          info.exitCode() == 0)
        return;
      QTest::qWait(100);
    }
    error_ = "pulseaudio did not answer: " + server_.readAll().toStdString();
  }
  QString Socket() const { return dir_.filePath(QStringLiteral("native")); }

  QTemporaryDir dir_;
  QProcess server_;
  QProcess recorder_;
  std::string error_;
};

}  // namespace ovrel::test
