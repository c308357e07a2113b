// ovrel render as a user runs it: files of each type that play back with
// the session's length and tones, and failures that leave nothing behind
// (a pipe as the target, a full disk, a stop by a signal).

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <vector>

#include "format/SessionFile.h"
#include "sound/ToneMeasure.h"

namespace ovrel::test {
namespace {

struct Outcome {
  int Status = -1;
  QString Out, Err;
};

class RenderCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session ses;
    ses.SegCount = 2;
    ses[1] = {2, 1, 8, 8, 220};   // 0:00-0:30
    ses[2] = {1, 1, 8, 16, 110};  // 0:30-0:45
    WriteText("ses.svs", SessionFileText(ses));
  }
  void WriteText(const char* name, const std::string& text) {
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
  }
  QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

  // Runs ovrel; wrapper, when given, is a command that runs it.
  Outcome Run(const QStringList& args, const QStringList& wrapper = {}) {
    QProcess p;
    p.setWorkingDirectory(Dir.path());
    const QString exe = QStringLiteral(OVREL_CLI_PATH);
    if (wrapper.isEmpty())
      p.start(exe, args);
    else
      p.start(wrapper[0], wrapper.mid(1) + QStringList{exe} + args);
    if (!p.waitForFinished(120000)) {
      p.kill();
      p.waitForFinished();
      return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
  }
  // The files in the test's folder, but the session.
  QStringList Files() const {
    QStringList names = QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral("ses.svs"));
    return names;
  }

  QTemporaryDir Dir;
};

struct Sound {
  SF_INFO Info{};
  std::vector<float> Samples;
};

Sound ReadSound(const QString& path) {
  Sound s;
  SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &s.Info);
  if (!f) return s;
  s.Samples.resize(static_cast<std::size_t>(s.Info.frames * s.Info.channels));
  s.Samples.resize(static_cast<std::size_t>(sf_readf_float(f, s.Samples.data(), s.Info.frames) *
                                            s.Info.channels));
  sf_close(f);
  return s;
}

TEST_F(RenderCommandTest, WavFlacAndOggPlayBackWithTheSessionsLengthAndTones) {
  struct Case {
    const char* Name;
    QStringList Options;
    int Format, Rate;
  } cases[] = {
      {"out.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100},
      {"out.FLAC", {"--rate", "48000"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000},
      {"out.ogg", {"--fade", "0"}, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100},
  };
  for (const Case& c : cases) {
    const Outcome o = Run(QStringList{"render", "ses.svs", "-o", c.Name} + c.Options);
    ASSERT_EQ(o.Status, 0) << c.Name << ": " << o.Err.toStdString();
    const Sound s = ReadSound(Path(c.Name));
    EXPECT_EQ(s.Info.format, c.Format) << c.Name;
    EXPECT_EQ(s.Info.channels, 2) << c.Name;
    EXPECT_EQ(s.Info.samplerate, c.Rate) << c.Name;
    ASSERT_EQ(s.Info.frames, int64_t{45} * c.Rate) << c.Name;
    // 8 Hz at 220 Hz in the middle of the first segment, 12 Hz at 110 Hz in
    // the middle of the second.
    const auto at = [&](double second) { return static_cast<std::size_t>((second - 0.5) * c.Rate); };
    EXPECT_NEAR(MeasureTone(s.Samples, 0, at(15), c.Rate, c.Rate, 224.5), 224, 0.1) << c.Name;
    EXPECT_NEAR(MeasureTone(s.Samples, 1, at(15), c.Rate, c.Rate, 215.5), 216, 0.1) << c.Name;
    EXPECT_NEAR(MeasureTone(s.Samples, 0, at(37.5), c.Rate, c.Rate, 116.5), 116, 0.1) << c.Name;
    EXPECT_NEAR(MeasureTone(s.Samples, 1, at(37.5), c.Rate, c.Rate, 104.5), 104, 0.1) << c.Name;
  }
  EXPECT_EQ(Files(), (QStringList{"out.FLAC", "out.ogg", "out.wav"}));

  // --json: progress events up to 100 percent, then the result.
  const Outcome json = Run({"--json", "render", "ses.svs", "-o", "out.wav", "--beat", "isochronic"});
  EXPECT_EQ(json.Status, 0);
  EXPECT_TRUE(json.Out.contains(R"({"event":"progress","percent":100,"seconds":45,"total":45})"))
      << json.Out.toStdString();
  EXPECT_TRUE(json.Out.endsWith("{\"event\":\"result\",\"message\":\"\",\"status\":0}\n"));
}

TEST_F(RenderCommandTest, WrongUsageExitsWithTwoAndWritesNothing) {
  for (const QStringList& args :
       {QStringList{"render", "ses.svs", "-o", "out.mp3"}, {"render", "ses.svs", "-o", "out"},
        {"render", "ses.svs", "-o", "out.wav", "--rate", "7000"},
        {"render", "ses.svs", "-o", "out.wav", "--rate", "44.1k"},
        {"render", "ses.svs", "-o", "out.wav", "--beat", "monaural"},
        {"render", "ses.svs", "-o", "out.wav", "--fade", "-1"}, {"render", "ses.svs"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.Status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(o.Err.contains("ovrel render --help")) << o.Err.toStdString();
  }
  EXPECT_EQ(Run({"render", "none.svs", "-o", "out.wav"}).Status, 1);
  EXPECT_TRUE(Files().isEmpty()) << Files().join(' ').toStdString();
}

TEST_F(RenderCommandTest, APipeIsRefusedAtOnceAndAnOldFileSurvivesAStop) {
  ASSERT_EQ(::mkfifo(Path("pipe.wav").toLocal8Bit().constData(), 0600), 0);
  const Outcome pipe = Run({"render", "ses.svs", "-o", "pipe.wav"});
  EXPECT_EQ(pipe.Status, 1);
  EXPECT_TRUE(pipe.Err.contains("Cannot write pipe.wav")) << pipe.Err.toStdString();
  struct stat st {};
  ASSERT_EQ(::lstat(Path("pipe.wav").toLocal8Bit().constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // A long render stopped by SIGINT leaves the file it would replace as it
  // was, and no temporary file.
  Session long_;
  long_.SegCount = 40;
  for (int k = 1; k <= 40; ++k) long_[k] = {23, 1, 10, 4, 200};
  WriteText("long.svs", SessionFileText(long_));
  WriteText("old.ogg", "old bytes");
  QProcess p;
  p.setWorkingDirectory(Dir.path());
  p.start(QStringLiteral(OVREL_CLI_PATH), {"--json", "render", "long.svs", "-o", "old.ogg"});
  ASSERT_TRUE(p.waitForReadyRead(30000));  // the first progress
  ::kill(static_cast<pid_t>(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();
  QFile old(Path("old.ogg"));
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "old bytes");
  EXPECT_EQ(Files(), (QStringList{"long.svs", "old.ogg", "pipe.wav"}));
}

TEST_F(RenderCommandTest, AFullDiskFailsWithItsReasonAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system that is full needs root";
  ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("disk")));
  // A 1 MB file system in a mount namespace of its own: the sound needs
  // about 8 MB. Afterwards the files left on it are listed.
  const QStringList small = {
      "unshare", "-m", "sh", "-c",
      QStringLiteral("mount -t tmpfs -o size=1m none '%1' || exit 99; \"$0\" \"$@\"; s=$?; "
                     "find '%1' -type f >&2; exit $s")
          .arg(Path("disk"))};
  for (const char* name : {"disk/out.wav", "disk/out.flac"}) {
    const Outcome o = Run({"render", "ses.svs", "-o", name}, small);
    ASSERT_NE(o.Status, 99) << "no file system could be mounted: " << o.Err.toStdString();
    EXPECT_EQ(o.Status, 1) << name;
    // Nothing but the message: no file was left on the disk.
    EXPECT_EQ(o.Err, QStringLiteral("Cannot write %1: No space left on device\n").arg(name));
  }
}

}  // namespace
}  // namespace ovrel::test
