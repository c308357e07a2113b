// ovrel render: writes a session's sound (its frequency course as a binaural
// beat or an isochronic pulse) to a WAV, FLAC or Ogg Vorbis file.

#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/Command.h"
#include "cli/Context.h"
#include "cli/StopSignals.h"
#include "format/SessionFile.h"
#include "session/SesTime.h"
#include "sound/file/SoundFile.h"

namespace ovrel::cli {

namespace {

constexpr const char* kRenderHelp =
    "Usage: ovrel render SESSION.svs -o OUT.wav|OUT.flac|OUT.ogg [--rate HZ]\n"
    "                    [--beat binaural|isochronic] [--fade SECONDS]\n"
    "Writes the sound of a session as a preview of its frequency course: a tone\n"
    "at each segment's pitch carrying the stimulation frequency, which moves in a\n"
    "straight line from the segment's start to its end value. The device's modes\n"
    "are light patterns of its own that this sound does not reproduce.\n";

constexpr const char* kRenderNotes =
    "The file is as long as the session. It is written under a temporary name\n"
    "and takes its own name only when complete. An unknown extension, rate or\n"
    "beat exits with 2.\n";

constexpr double kMaxFadeSeconds = 600;

bool ParseNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseWhole(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// The progress line on a terminal and the "progress" events, each once a
// percent.
class RenderProgress {
 public:
  RenderProgress(Context& ctx, int rate) : ctx_(ctx), rate_(rate) {}
  ~RenderProgress() { ctx_.ClearBar(); }
  RenderProgress(const RenderProgress&) = delete;
  RenderProgress& operator=(const RenderProgress&) = delete;

  void Show(int64_t done, int64_t total) {
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (percent == percent_) return;
    percent_ = percent;
    const int64_t seconds = done / rate_, totalSeconds = total / rate_;
    ctx_.Emit(QStringLiteral("progress"), {{QStringLiteral("percent"), percent},
                                           {QStringLiteral("seconds"), static_cast<qint64>(seconds)},
                                           {QStringLiteral("total"), static_cast<qint64>(totalSeconds)}});
    if (!ctx_.Streams().ErrIsTerminal) return;
    constexpr int kWidth = 30;
    const auto filled = static_cast<qsizetype>(kWidth * percent / 100);
    ctx_.ShowBar(QStringLiteral("[%1%2] %3% %4 of %5")
                     .arg(QString(filled, QLatin1Char('#')), QString(kWidth - filled, QLatin1Char('.')))
                     .arg(percent, 3)
                     .arg(QString::fromStdString(TimeText(seconds)),
                          QString::fromStdString(TimeText(totalSeconds))));
  }

 private:
  Context& ctx_;
  int rate_;
  int percent_ = -1;
};

// Reads the options into settings; the exit status of wrong usage, or -1.
int ReadSettings(Context& ctx, const CommandLine& line, sound::SynthSettings& settings) {
  if (line.IsSet(QStringLiteral("rate")) &&
      (!ParseWhole(line.Text(QStringLiteral("rate")), settings.Rate) ||
       settings.Rate < sound::MinRate || settings.Rate > sound::MaxRate))
    return ctx.UsageError("render",
                          "\"--rate\" needs a whole number of hertz from 8000 to 192000.");
  if (line.IsSet(QStringLiteral("beat"))) {
    const std::string beat = line.Text(QStringLiteral("beat"));
    if (beat == "binaural")
      settings.Beat = sound::BeatKind::Binaural;
    else if (beat == "isochronic")
      settings.Beat = sound::BeatKind::Isochronic;
    else
      return ctx.UsageError("render", "\"--beat\" is binaural or isochronic.");
  }
  if (line.IsSet(QStringLiteral("fade")) &&
      (!ParseNumber(line.Text(QStringLiteral("fade")), settings.FadeSeconds) ||
       settings.FadeSeconds < 0 || settings.FadeSeconds > kMaxFadeSeconds))
    return ctx.UsageError("render", "\"--fade\" needs a number of seconds from 0 to 600.");
  return -1;
}

int Render(Context& ctx, const CommandLine& line) {
  sound::SynthSettings settings;
  if (const int usage = ReadSettings(ctx, line, settings); usage >= 0) return usage;
  const QStringList sessions = line.Positional();
  if (sessions.size() > 1) return ctx.UsageError("render", "more than one session file given.");
  const std::string session = sessions.isEmpty() ? std::string() : sessions[0].toStdString();
  const std::string out = line.Text(QStringLiteral("o"));
  if (line.IsSet(QStringLiteral("o")) && out.empty())
    return ctx.UsageError("render", "\"-o\" needs a file name.");
  if (session.empty()) return ctx.UsageError("render", "no session file given.");
  if (out.empty()) return ctx.UsageError("render", "no sound file given (-o OUT.wav, .flac or .ogg).");
  if (RefuseOutput(ctx, "render", out, {".wav", ".flac", ".ogg"}, {session}) != ExitOk)
    return ExitUsage;
  const std::optional<sound::SoundFileFormat> format = sound::SoundFileFormatOf(out);
  if (!format) return ctx.UsageError("render", "the sound file must end in .wav, .flac or .ogg.");
  if (!sound::FormatTakesRate(*format, settings.Rate))
    return ctx.UsageError("render", "this file type cannot hold " + std::to_string(settings.Rate) +
                                    " samples a second.");
  if (!HasExtension(session, ".svs")) return ctx.Failure(session + ": Unsupported session file format.");

  const SessionReadResult read = ReadSessionFile(session);
  if (!read) return ctx.Failure(read.Error());

  HeldStopSignals stopSignals(ctx.Streams().OwnsSignals);
  RenderProgress progress(ctx, settings.Rate);
  const FileWriteResult written = sound::WriteSoundFile(
      *read, settings, *format, out, [&progress, &stopSignals](int64_t done, int64_t total) {
        progress.Show(done, total);
        return stopSignals.Arrived() == 0;
      });
  if (const int sig = stopSignals.Arrived(); sig != 0) {
    ctx.Failure(std::string("Stopped by SIG") + sigabbrev_np(sig) + "; " + out + " was not written.");
    return ExitSignal + sig;
  }
  if (!written) return ctx.Failure(written.Error());
  return ExitOk;
}

}  // namespace

std::vector<Command> SoundCommands() {
  return {{.name = "render",
           .summary = "write a session's sound to a WAV, FLAC or Ogg file",
           .usage = kRenderHelp,
           .options = {{{QStringLiteral("beat")},
                        QStringLiteral("KIND"),
                        QStringLiteral("binaural (the default; use headphones): left ear\n"
                                       "at pitch + f/2, right ear at pitch - f/2;\n"
                                       "isochronic: one tone in both ears, pulsed f\n"
                                       "times a second")},
                       {{QStringLiteral("rate")},
                        QStringLiteral("HZ"),
                        QStringLiteral("samples a second, 8000 to 192000 (44100 by\n"
                                       "default)")},
                       {{QStringLiteral("fade")},
                        QStringLiteral("SECONDS"),
                        QStringLiteral("fade in at the start and out at the end, 0 to\n"
                                       "600 (5 by default; 0 for none)")},
                       OutputOption("FILE",
                                    "the sound file: .wav and .flac hold 16-bit\n"
                                    "samples, .ogg Ogg Vorbis. The peak is at -6 dBFS.")},
           .notes = kRenderNotes,
           .run = Render}};
}

}  // namespace ovrel::cli
