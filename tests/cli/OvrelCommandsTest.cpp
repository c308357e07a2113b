// ovrel's commands on files the tests write, run in-process through the
// ovrel_cli library with the test's own standard output and error captured.

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "cli/StopSignals.h"
#include "tests/cli/InProcessOvrel.h"

// Shows texts in failure messages as text.
void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

struct Outcome {
  int status = -1;
  QString out;
  QString err;
};

class OvrelTest : public ::testing::Test {
 protected:
  Outcome ovrel(const QStringList& args) {
    const ovrel::test::InProcessOutcome run = ovrel::test::RunOvrelInProcess(args, dir.path());
    return {run.Status, run.Out, run.Err};
  }
  QString write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return name;
  }
  QByteArray read(const QString& name) {
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
  }
  bool exists(const QString& name) { return QFile::exists(dir.filePath(name)); }

  static QByteArray Session(const QByteArray& totalTime, const QList<QByteArray>& segments) {
    QByteArray text =
        "#---\r\n# Sorvani Pro Session File\r\n#---\r\nversion=23\r\n#---\r\n" + totalTime + "\r\n";
    for (const QByteArray& line : segments) text += line + "\r\n";
    return text + "0,\r\n#---\r\n";
  }
  static QByteArray Default(int count) {
    return Session(QByteArray::number(count) + ",0,",
                   QList<QByteArray>(count, QByteArray("36,10,10,100,100,")));
  }

  QTemporaryDir dir;
};

TEST_F(OvrelTest, CompileWritesTheLibraryAndPrintsTheAvailableMemory) {
  write("one.svs", Default(1));
  Outcome run = ovrel({"compile", "-o", "one.svl", "one.svs"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, "Available memory: 99%\n");
  EXPECT_EQ(read("one.svl"), QByteArray::fromHex("1701000e0006010024"
                                                 "0a0a646400"
                                                 "3b"));

  run = ovrel({"compile", "--output=empty.svl"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Available memory: 100%\n");
  EXPECT_EQ(read("empty.svl"), QByteArray::fromHex("1700000413"));

  // Library order is argument order; the same file may come twice.
  write("two.svs", Default(2));
  run = ovrel({"compile", "two.svs", "-o", "lib.svl", "one.svs", "two.svs"});
  EXPECT_EQ(run.status, 0);
  const QByteArray lib = read("lib.svl");
  ASSERT_EQ(lib.size(), 4 + 5 * 3 + 5 * 5 + 1);
  EXPECT_EQ(lib.mid(0, 10), QByteArray::fromHex("1703002c000a0017001f"));
}

TEST_F(OvrelTest, CompileFailuresWriteNothing) {
  write("good.svs", Default(1));
  write("bad.svs", Session("1,0,", {"36,10,10,100,100,", "36,10,1o,100,100,"}));
  Outcome run = ovrel({"compile", "-o", "out.svl", "good.svs", "bad.svs"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "bad.svs, line 8: field 3 (\"1o\") is not a decimal integer\n");
  EXPECT_TRUE(run.out.isEmpty());
  EXPECT_FALSE(exists("out.svl"));

  QStringList args{"compile", "-o", "out.svl"};
  for (int k = 0; k < 31; ++k) args << "good.svs";
  run = ovrel(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "Maximum number of sessions in library limit exceeded. No more session can be added "
            "to the library.\n");

  write("big.svs", Default(380));
  write("more.svs", Default(27));
  run = ovrel({"compile", "-o", "out.svl", "big.svs", "more.svs"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "more.svs: This session cannot be added to the library. Out of memory.\n");
  EXPECT_FALSE(exists("out.svl"));

  QDir(dir.path()).mkdir("folder.svs");
  run = ovrel({"compile", "-o", "out.svl", "folder.svs"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot read folder.svs: Is a directory\n");
  run = ovrel({"info", "folder.svs", "good.svs"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot read folder.svs: Is a directory\n");
  EXPECT_TRUE(run.out.contains("good.svs: session, 1 segment, total time 1:00.0"));

  run = ovrel({"compile", "-o", "no/such/folder/out.svl", "good.svs"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.contains("no/such/folder/out.svl")) << run.err.toStdString();
}

TEST_F(OvrelTest, InfoDescribesSessionsAndLibraries) {
  write("s.svs", Session("9,9,", {"36,10,10,100,100,", "#", "166,140,148,44,44,"}));
  Outcome run = ovrel({"info", "s.svs"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out,
            "s.svs: session, 2 segments, total time 2:30.0\n"
            "Seg. No.  Time  Mode  Freq Start  Freq End  Pitch\n"
            "       1  1:00    IN          10        10    100\n"
            "       2  1:30    SA          12        20    300\n");

  ASSERT_EQ(ovrel({"compile", "-o", "lib.svl", "s.svs", "s.svs"}).status, 0);
  run = ovrel({"info", "lib.svl"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "lib.svl: library, 35 bytes\n"
            "Version: 23\n"
            "Sessions: 2\n"
            "Checksum offset (L): 34\n"
            "Session  Offset  Length  Segments\n"
            "      1       8    9:09         2\n"
            "      2      21    9:09         2\n"
            "Free bytes: 2013\n"
            "Checksum: " +
                QString("%1").arg(quint8(read("lib.svl").back()), 2, 16, QChar('0')).toUpper() +
                ", matches\n");

  // A damaged library: the data still shows, the fault goes to stderr.
  QByteArray damaged = read("lib.svl");
  damaged[10] = char(damaged[10] ^ 0x40);
  write("damaged.svl", damaged);
  run = ovrel({"info", "damaged.svl"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.contains("does not match (computed "));
  EXPECT_EQ(run.err,
            "damaged.svl: not a sound library: the stored checksum does not match the image.\n");

  // Too short to hold a count or a checksum offset: none is shown.
  write("short.svl", QByteArray("\x17\x00\x00\x04", 4));
  run = ovrel({"info", "short.svl"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "short.svl: library, 4 bytes\nVersion: 23\n");
  EXPECT_EQ(run.err,
            "short.svl: not a sound library: the image is 4 bytes long, shorter than the 5 bytes "
            "of an empty library.\n");
}

// Files no command can read: each command ends at once with exit status 1
// and one line naming the file and why, never hangs or aborts.
TEST_F(OvrelTest, UnreadableFilesEndEveryCommandWithOneLine) {
  const struct {
    const char* base;
    const char* reason;
  } kinds[] = {{"fifo", "it is a pipe (FIFO), not a regular file"},
               {"zero", "it is a device, not a regular file"},
               {"mem", "Input/output error"},
               {"big", "the file is larger than 1 MiB, the most that is read"}};
  for (const char* ext : {".svs", ".rvx", ".svl"}) {
    const QString e = QString::fromLatin1(ext);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo" + e)).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero" + e)));
    ASSERT_TRUE(QFile::link("/proc/self/mem", dir.filePath("mem" + e)));
    write("big" + e, QByteArray(1024 * 1024 + 1, '#'));
  }
  for (const auto& kind : kinds) {
    const QString base = QString::fromLatin1(kind.base);
    const QString cannot = "Cannot read %1: " + QString::fromLatin1(kind.reason) + "\n";
    const QList<QStringList> commands = {{"check", base + ".svs"},
                                         {"info", base + ".svs"},
                                         {"info", base + ".svl"},
                                         {"compile", "-o", "out.svl", base + ".svs"},
                                         {"export-csv", base + ".svs", "-o", "out.csv"}};
    for (const QStringList& args : commands) {
      const Outcome run = ovrel(args);
      EXPECT_EQ(run.status, 1) << args.join(' ').toStdString();
      EXPECT_EQ(run.err, cannot.arg(args.back().endsWith(".csv") ? base + ".svs" : args.back()))
          << args.join(' ').toStdString();
    }
    const Outcome run = ovrel({"import", base + ".rvx", "-o", "out.svs"});
    EXPECT_EQ(run.status, 1) << kind.base;
    EXPECT_EQ(run.err, base + ".rvx: RVX file import failed. " + cannot.arg(base + ".rvx"));
  }
  EXPECT_FALSE(exists("out.svl"));
  EXPECT_FALSE(exists("out.csv"));
  EXPECT_FALSE(exists("out.svs"));
}

TEST_F(OvrelTest, CheckIsSilentForValidFilesAndNamesTheLineOfFaults) {
  write("a.svs", Default(3));
  write("B.SVS", Default(1));
  Outcome run = ovrel({"check", "a.svs", "B.SVS"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.isEmpty());
  EXPECT_TRUE(run.err.isEmpty());

  write("short.svs", Session("1,0,", {"36,10,10,100,100,", "#", "36,10,10,"}));
  write("empty.svs", Session("0,0,", {}));
  write("notes.txt", Default(1));
  run = ovrel({"check", "short.svs", "a.svs", "empty.svs", "notes.txt", "missing.svs"});
  EXPECT_EQ(run.status, 1);
  const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4) << run.err.toStdString();
  EXPECT_TRUE(lines[0].startsWith("short.svs, line 9: ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith("empty.svs, line ")) << lines[1].toStdString();
  EXPECT_EQ(lines[2], "notes.txt: Unsupported session file format.");
  EXPECT_TRUE(lines[3].contains("missing.svs")) << lines[3].toStdString();
}

TEST_F(OvrelTest, WrongUsageExitsWithTwo) {
  const QList<QStringList> usages = {
      {},
      {"frobnicate"},
      {"compile"},
      {"compile", "a.svs"},
      {"compile", "-o"},
      {"compile", "-o", "a.svl", "-o", "b.svl"},
      {"compile", "-x", "-o", "a.svl"},
      {"info"},
      {"check"},
      {"check", "--verbose", "a.svs"},
  };
  for (const QStringList& args : usages) {
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_TRUE(run.out.isEmpty());
  }
  EXPECT_FALSE(exists("a.svl"));

  for (const QStringList& args : QList<QStringList>{
           {"--help"}, {"compile", "--help"}, {"info", "--help"}, {"check", "--help"}}) {
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith("Usage: ovrel")) << run.out.toStdString();
  }
}

// remove writes a new library: an output that is its input, by any name
// (the same path, another spelling, a hard link), is refused and the input
// stays as it was.
TEST_F(OvrelTest, RemoveNeverWritesOverItsInput) {
  write("one.svs", Default(1));
  write("two.svs", Default(2));
  ASSERT_EQ(ovrel({"compile", "-o", "lib.svl", "one.svs", "two.svs"}).status, 0);
  const QByteArray library = read("lib.svl");
  ASSERT_TRUE(QFile::link(dir.filePath("lib.svl"), dir.filePath("link.svl")));
  ASSERT_EQ(::link(QFile::encodeName(dir.filePath("lib.svl")).constData(),
                   QFile::encodeName(dir.filePath("hard.svl")).constData()),
            0);
  for (const char* output : {"lib.svl", "./lib.svl", "link.svl", "hard.svl"}) {
    const Outcome run = ovrel({"remove", "1", "lib.svl", "-o", output});
    EXPECT_EQ(run.status, 2) << output;
    EXPECT_TRUE(run.err.contains("the output must not be the input")) << run.err.toStdString();
    EXPECT_EQ(read("lib.svl"), library) << output;
  }
  const Outcome removed = ovrel({"remove", "1", "hard.svl", "-o", "rest.svl"});
  EXPECT_EQ(removed.status, 0) << removed.err.toStdString();
  EXPECT_EQ(read("lib.svl"), library);
  EXPECT_LT(read("rest.svl").size(), library.size());
}

// No command writes over its own input, whatever name the output gives it:
// the same path, the path spelt with "./", a symbolic link or a hard link
// (both under the extension of the command's own output). The input keeps
// its bytes and the command exits with 2.
TEST_F(OvrelTest, NoCommandWritesOverItsInput) {
  write("in.svs", Default(2));
  write("in.rvx", "head\r\nSTART\r\n1\t6:00\t\t10\t10\t\t\tA4\t\tSA\r\nEND\r\n");
  ASSERT_EQ(ovrel({"compile", "-o", "in.svl", "in.svs"}).status, 0);
  struct Case {
    QStringList args;  // IN and OUT stand for the input and the output
    const char* input;
    const char* ext;  // the command's own output extension
  };
  const QList<Case> cases = {
      {{"export-csv", "IN", "-o", "OUT"}, "in.svs", ".csv"},
      {{"convert", "IN", "OUT"}, "in.svs", ".sbg"},
      {{"render", "IN", "-o", "OUT", "--rate", "8000"}, "in.svs", ".wav"},
      {{"compile", "-o", "OUT", "IN"}, "in.svs", ".svl"},
      {{"import", "IN", "-o", "OUT"}, "in.rvx", ".svs"},
      {{"plot", "IN", "-o", "OUT"}, "in.svs", ".png"},
      {{"extract", "1", "IN", "-o", "OUT"}, "in.svl", ".svs"},
      {{"remove", "1", "IN", "--output", "OUT"}, "in.svl", ".svl"},
  };
  for (const Case& c : cases) {
    const QString input = QString::fromLatin1(c.input);
    const QString link = "link" + QString::fromLatin1(c.ext);
    const QString hard = "hard" + QString::fromLatin1(c.ext);
    QFile::remove(dir.filePath(link));
    QFile::remove(dir.filePath(hard));
    ASSERT_TRUE(QFile::link(input, dir.filePath(link)));
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath(input)).constData(),
                     QFile::encodeName(dir.filePath(hard)).constData()),
              0);
    const QByteArray before = read(input);
    for (const QString& output : {input, "./" + input, link, hard}) {
      QStringList args = c.args;
      args.replaceInStrings(QStringLiteral("IN"), input);
      args.replaceInStrings(QStringLiteral("OUT"), output);
      const Outcome run = ovrel(args);
      const std::string shown = args.join(' ').toStdString();
      EXPECT_EQ(run.status, 2) << shown << "\n" << run.err.toStdString();
      EXPECT_TRUE(run.err.contains("the output must not be the input")) << shown;
      EXPECT_EQ(read(input), before) << shown;
    }
  }
}

// A command writes its own format only under that format's extension: CSV,
// a library or a session never lands in a file named as another format's
// (which would then be read as that format). A name of no known format and
// an existing file of the right kind are written, as cp would.
TEST_F(OvrelTest, NoCommandWritesUnderAnotherFormatsExtension) {
  write("in.svs", Default(2));
  write("in.rvx", "head\r\nSTART\r\n1\t6:00\t\t10\t10\t\t\tA4\t\tSA\r\nEND\r\n");
  ASSERT_EQ(ovrel({"compile", "-o", "in.svl", "in.svs"}).status, 0);
  write("other.svs", Default(1));
  const QList<QStringList> refused = {
      {"export-csv", "in.svs", "-o", "other.svs"},
      {"export-csv", "in.svs", "-o", "x.wav"},
      {"compile", "-o", "other.svs", "in.svs"},
      {"compile", "-o", "x.csv", "in.svs"},
      {"import", "in.rvx", "-o", "x.svl"},
      {"extract", "1", "in.svl", "-o", "x.gnaural"},
      {"remove", "1", "in.svl", "-o", "other.svs"},
      {"render", "in.svs", "-o", "other.svs"},
      {"plot", "in.svs", "-o", "other.svs"},
      {"sweep", "14", "4", "30", "-o", "x.csv"},
      {"convert", "in.svs", "x.csv"},
      {"download", "--port", "/dev/null/none", "-o", "other.svs"},
      {"backup", "--port", "/dev/null/none", "-o", "x.png"},
  };
  for (const QStringList& args : refused) {
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 2) << args.join(' ').toStdString() << "\n" << run.err.toStdString();
  }
  EXPECT_EQ(read("other.svs"), Default(1));
  for (const char* name : {"x.wav", "x.csv", "x.svl", "x.gnaural", "x.png"})
    EXPECT_FALSE(exists(QString::fromLatin1(name))) << name;

  write("old.csv", "old");
  const QList<QStringList> written = {{"export-csv", "in.svs", "-o", "old.csv"},
                                      {"export-csv", "in.svs", "-o", "points.txt"},
                                      {"compile", "-o", "library.bin", "in.svs"}};
  for (const QStringList& args : written) {
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 0) << args.join(' ').toStdString() << "\n" << run.err.toStdString();
  }
  EXPECT_EQ(read("points.txt"), read("old.csv"));
  EXPECT_EQ(read("library.bin"), read("in.svl"));

  // The refusal names what the command writes instead.
  const struct {
    QStringList args;
    const char* says;
  } named[] = {
      {{"compile", "-o", "x.csv", "in.svs"}, "the output is a .svl file."},
      {{"plot", "in.svs", "-o", "other.svs"}, "the output is a .png or .svg file."},
      {{"render", "in.svs", "-o", "other.svs"}, "the output is a .wav, .flac or .ogg file."},
  };
  for (const auto& n : named) {
    const Outcome run = ovrel(n.args);
    EXPECT_TRUE(run.err.contains(n.says)) << run.err.toStdString();
  }
}

// A stop that comes while a file is written waits until the command takes
// it, and ends the program no more; afterwards the signals are as before.
TEST(HeldStopSignals, AStopWaitsForTheCommandAndTheMaskComesBackAfter) {
  sigset_t before{};
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &before), 0);
  {
    ovrel::cli::HeldStopSignals held(true);
    ASSERT_EQ(held.Arrived(), 0);
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_EQ(held.Arrived(), SIGHUP);
    EXPECT_EQ(held.Arrived(), SIGHUP);
  }
  sigset_t after{};
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &after), 0);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP})
    EXPECT_EQ(sigismember(&after, sig), sigismember(&before, sig)) << sig;
}
}  // namespace

// A four-segment sweep from 8 to 20 Hz.
TEST_F(OvrelTest, PlotWritesPngAndSvgOfTheAskedSize) {
  write("sweep.svs", Session("4,0,", {"36,8,12,100,100,", "36,12,16,100,100,", "36,16,20,100,100,",
                                      "36,20,20,100,100,"}));
  Outcome run =
      ovrel({"plot", "sweep.svs", "-o", "sweep.png", "--width", "640", "--height", "240"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, "");
  QImage png;
  ASSERT_TRUE(png.loadFromData(read("sweep.png"), "PNG"));
  EXPECT_EQ(png.size(), QSize(640, 240));

  run = ovrel({"plot", "-o", "sweep.svg", "sweep.svs"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  const QByteArray svg = read("sweep.svg");
  EXPECT_TRUE(svg.contains("<svg")) << svg.left(200).toStdString();
  EXPECT_TRUE(svg.contains("viewBox=\"0 0 1200 400\""));
}

TEST_F(OvrelTest, PlotRefusesWrongUsageAndBadSessionsWithoutWritingAPicture) {
  write("one.svs", Default(1));
  write("broken.svs", "version=23\r\n#---\r\n1,0,\r\n36,10,\r\n");
  const QList<QStringList> usage = {{"plot", "one.svs"},
                                    {"plot", "one.svs", "-o", "out.jpg"},
                                    {"plot", "one.svs", "-o", "out.png", "--width", "wide"},
                                    {"plot", "one.svs", "-o", "out.png", "--height"}};
  for (const QStringList& args : usage) {
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(run.err.contains("ovrel plot --help")) << run.err.toStdString();
  }
  for (const QStringList& args :
       QList<QStringList>{{"plot", "broken.svs", "-o", "out.png"},
                          {"plot", "missing.svs", "-o", "out.png"},
                          {"plot", "one.svs", "-o", "out.png", "--width", "5"}}) {
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 1) << args.join(' ').toStdString();
    EXPECT_FALSE(run.err.isEmpty());
  }
  EXPECT_FALSE(exists("out.png"));
}

TEST_F(OvrelTest, SweepWritesTheSessionInTheWritersFormat) {
  Outcome run = ovrel({"sweep", "14", "4", "30", "--pitch", "200:100", "-o", "calm.svs"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, "");
  const QByteArray rule = "#" + QByteArray(76, '-') + "\r\n";
  // Six segments of 20 units in mode IN (52 = 20 + 32), pitch in both slots.
  EXPECT_EQ(read("calm.svs"), rule + "# Sorvani Pro Session File\r\n" + rule + "version=23\r\n" +
                                  rule +
                                  "30,0,\r\n"
                                  "52,14,12,192,192,\r\n"
                                  "52,12,11,175,175,\r\n"
                                  "52,11,9,158,158,\r\n"
                                  "52,9,7,142,142,\r\n"
                                  "52,7,6,125,125,\r\n"
                                  "52,6,4,108,108,\r\n"
                                  "0,\r\n" +
                                  rule);
  // A pitch of 256 and more carries its bit 8 beside the frequencies.
  run = ovrel({"sweep", "10", "10", "0:15", "--mode=SL", "--pitch", "300", "--output=high.svs"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(read("high.svs").contains("\r\n0,15,\r\n193,138,138,44,44,\r\n0,\r\n"));
  EXPECT_TRUE(ovrel({"--help"}).out.contains("\n  sweep "));
  // Longer than 255 minutes: written, with a warning of how the device shows
  // it; compiled the same way.
  run = ovrel({"sweep", "10", "4", "500", "-o", "long.svs"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  const QString warning = "The session lasts 500:00, longer than 255 minutes: Sorvani shows a "
                          "length modulo 256 minutes, so it will show 244:00.";
  EXPECT_EQ(run.err, "Warning: " + warning + "\n");
  EXPECT_TRUE(read("long.svs").contains("\r\n500,0,\r\n"));
  run = ovrel({"compile", "-o", "long.svl", "long.svs"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("long.svs: " + warning)) << run.err.toStdString();
}

TEST_F(OvrelTest, SweepRefusesBadValuesWithTwoAndWritesNothing) {
  write("keep.svs", Default(1));
  const QList<QStringList> bad = {
      {"0", "4", "30"},          {"14", "49", "30"},       {"fourteen", "4", "30"},
      {"14", "4", "30:10"},      {"14", "4", "2185:15"},   {"14", "4", "0"},
      {"14", "4", "30", "--pitch", "47"},                  {"14", "4", "30", "--pitch", "200:401"},
      {"14", "4", "30", "--pitch", "high"},                {"14", "4", "30", "--mode", "ZZ"},
      {"14", "4"},               {"14", "4", "30", "--speed", "2"},
  };
  for (QStringList args : bad) {
    args.prepend("sweep");
    args << "-o" << "keep.svs";
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(run.err.startsWith("ovrel sweep: ")) << run.err.toStdString();
    EXPECT_EQ(read("keep.svs"), Default(1)) << args.join(' ').toStdString();
  }
  for (const QStringList& args : QList<QStringList>{{"sweep", "14", "4", "30"},
                                                    {"sweep", "14", "4", "30", "-o", "out.txt"}}) {
    EXPECT_EQ(ovrel(args).status, 2) << args.join(' ').toStdString();
  }
  EXPECT_FALSE(exists("out.txt"));
}

namespace {

// The commands that "ovrel --help" lists.
QStringList ListedCommands(const QString& help) {
  QStringList names;
  const QString list =
      help.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
  for (const QString& line : list.split('\n', Qt::SkipEmptyParts))
    names << line.trimmed().section(' ', 0, 0);
  return names;
}

// "ovrel help COMMAND" is the command's own help, for every command; every
// option its help lists is one the command takes (a help line without its
// option, or an option without its help line, shows here).
TEST_F(OvrelTest, HelpOfEveryCommandListsTheOptionsItTakes) {
  const QStringList commands = ListedCommands(ovrel({"--help"}).out);
  ASSERT_GE(commands.size(), 20) << commands.join(' ').toStdString();
  const QRegularExpression optionLine(QStringLiteral("^  (?:-\\w, )?--([a-z-]+)"),
                                      QRegularExpression::MultilineOption);
  for (const QString& name : commands) {
    const Outcome help = ovrel({"help", name});
    EXPECT_EQ(help.status, 0) << name.toStdString();
    EXPECT_TRUE(help.out.section('\n', 0, 0).section(' ', 0, 2) == "Usage: ovrel " + name)
        << help.out.toStdString();
    EXPECT_EQ(help.out, ovrel({name, "--help"}).out) << name.toStdString();
    for (const QString& line : help.out.split('\n'))  // fits a terminal
      EXPECT_LE(line.size(), 80) << name.toStdString() << ": " << line.toStdString();
    for (auto match = optionLine.globalMatch(help.out); match.hasNext();) {
      const QString option = "--" + match.next().captured(1);
      const Outcome run = ovrel({name, option, "--port-that-is-not"});
      EXPECT_FALSE(run.err.contains("unknown option \"" + option))
          << name.toStdString() << " " << option.toStdString() << ": " << run.err.toStdString();
    }
  }
  const Outcome unknown = ovrel({"help", "frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(unknown.err.contains("frobnicate"));
}

// sweep's frequencies may be written with a sign: a negative one is a value
// out of range (exit 2 with the range), never an unknown option, wherever
// the options stand.
TEST_F(OvrelTest, SweepTakesNegativeNumbersAsValues) {
  for (const QStringList& args :
       QList<QStringList>{{"sweep", "-4", "4", "30", "-o", "n.svs"},
                          {"sweep", "-o", "n.svs", "14", "-4", "30"},
                          {"sweep", "14", "4", "-30", "--pitch", "200", "-o", "n.svs"}}) {
    const Outcome run = ovrel(args);
    EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
    EXPECT_FALSE(run.err.contains("unknown option")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("FROM TO MINUTES")) << run.err.toStdString();
  }
  const Outcome pitch = ovrel({"sweep", "14", "4", "30", "--pitch", "-100", "-o", "n.svs"});
  EXPECT_EQ(pitch.status, 2);
  EXPECT_FALSE(pitch.err.contains("unknown option")) << pitch.err.toStdString();
  EXPECT_FALSE(exists("n.svs"));
  const Outcome reordered = ovrel({"sweep", "-o", "ok.svs", "--mode", "LR", "14", "4", "30"});
  EXPECT_EQ(reordered.status, 0) << reordered.err.toStdString();
  EXPECT_TRUE(exists("ok.svs"));
}

}  // namespace
