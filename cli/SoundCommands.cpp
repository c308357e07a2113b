// ovrel render: writes a session's sound (its frequency course as a binaural
// beat or an isochronic pulse) to a WAV, FLAC or Ogg Vorbis file.

#include <pthread.h>

#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/Command.h"
#include "cli/Context.h"
#include "session/SesTime.h"
#include "format/SessionFile.h"
#include "sound/file/SoundFile.h"

namespace ovrel::cli {

namespace {

constexpr const char* kRenderHelp =
    "Usage: ovrel render SESSION.svs -o OUT.wav|OUT.flac|OUT.ogg [--rate HZ]\n"
    "                    [--beat binaural|isochronic] [--fade SECONDS]\n"
    "Writes the sound of a session as a preview of its frequency course: a tone\n"
    "at each segment's pitch carrying the stimulation frequency, which moves in a\n"
    "straight line from the segment's start to its end value. The device's modes\n"
    "are light patterns of its own that this sound does not reproduce.\n"
    "  --beat binaural     left ear at pitch + f/2, right ear at pitch - f/2\n"
    "                      (the default: listen with headphones)\n"
    "  --beat isochronic   one tone in both ears, pulsed f times a second\n"
    "  --rate HZ           samples a second, 8000 to 192000 (44100 by default)\n"
    "  --fade SECONDS      fade in at the start and out at the end, 0 to 600\n"
    "                      (5 by default; 0 for none)\n"
    "  -o, --output FILE   the sound file: .wav and .flac hold 16-bit samples,\n"
    "                      .ogg Ogg Vorbis. The peak is at -6 dBFS.\n"
    "The file is as long as the session. It is written under a temporary name\n"
    "and takes its own name only when complete. An unknown extension, rate or\n"
    "beat exits with 2.\n";

constexpr double kMaxFadeSeconds = 600;

// While a file is rendered, SIGINT, SIGTERM and SIGHUP are held back and
// looked for between two blocks, so that a stop removes the temporary file
// instead of leaving it; the former signal mask comes back afterwards. Only
// ovrel's own process takes its signals over (tests run it in-process).
class HeldStopSignals {
 public:
  explicit HeldStopSignals(bool takeOver) : held_(takeOver) {
    if (!held_) return;
    sigemptyset(&signals_);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, sig);
    ::pthread_sigmask(SIG_BLOCK, &signals_, &saved_);
  }
  ~HeldStopSignals() {
    if (held_) ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  HeldStopSignals(const HeldStopSignals&) = delete;
  HeldStopSignals& operator=(const HeldStopSignals&) = delete;

  // The stop signal that arrived (taken, so it never ends the process), or 0.
  int Arrived() {
    if (!held_) return 0;
    if (stop_ == 0) {
      const timespec now{};
      const int sig = ::sigtimedwait(&signals_, nullptr, &now);
      if (sig > 0) stop_ = sig;
    }
    return stop_;
  }

 private:
  bool held_;
  int stop_ = 0;
  sigset_t signals_{};
  sigset_t saved_{};
};

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

int Render(Context& ctx, const std::vector<std::string>& args) {
  std::string session, out;
  sound::SynthSettings settings;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "-o" || arg == "--output") {
      if (!hasValue || args[i + 1].empty()) return ctx.UsageError("render", "\"" + arg + "\" needs a file name.");
      out = args[++i];
    } else if (arg == "--rate") {
      if (!hasValue || !ParseWhole(args[i + 1], settings.Rate) || settings.Rate < sound::MinRate ||
          settings.Rate > sound::MaxRate)
        return ctx.UsageError("render", "\"--rate\" needs a whole number of hertz from 8000 to 192000.");
      ++i;
    } else if (arg == "--beat") {
      const std::string beat = hasValue ? args[++i] : std::string();
      if (beat == "binaural")
        settings.Beat = sound::BeatKind::Binaural;
      else if (beat == "isochronic")
        settings.Beat = sound::BeatKind::Isochronic;
      else
        return ctx.UsageError("render", "\"--beat\" is binaural or isochronic.");
    } else if (arg == "--fade") {
      if (!hasValue || !ParseNumber(args[i + 1], settings.FadeSeconds) ||
          settings.FadeSeconds < 0 || settings.FadeSeconds > kMaxFadeSeconds)
        return ctx.UsageError("render", "\"--fade\" needs a number of seconds from 0 to 600.");
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return ctx.UsageError("render", "unknown option \"" + arg + "\".");
    } else if (session.empty()) {
      session = arg;
    } else {
      return ctx.UsageError("render", "more than one session file given.");
    }
  }
  if (session.empty()) return ctx.UsageError("render", "no session file given.");
  if (out.empty()) return ctx.UsageError("render", "no sound file given (-o OUT.wav, .flac or .ogg).");
  const std::optional<sound::SoundFileFormat> format = sound::SoundFileFormatOf(out);
  if (!format) return ctx.UsageError("render", "the sound file must end in .wav, .flac or .ogg.");
  if (!sound::FormatTakesRate(*format, settings.Rate))
    return ctx.UsageError("render", "this file type cannot hold " + std::to_string(settings.Rate) +
                                    " samples a second.");
  if (!HasExtension(session, ".svs")) return ctx.Failure(session + ": Unsupported session file format.");

  const SessionReadResult read = ReadSessionFile(session);
  if (!read) return ctx.Failure(read.Error);

  HeldStopSignals stopSignals(ctx.Streams().OwnsSignals);
  RenderProgress progress(ctx, settings.Rate);
  const FileWriteResult written = sound::WriteSoundFile(
      *read.Session, settings, *format, out, [&progress, &stopSignals](int64_t done, int64_t total) {
        progress.Show(done, total);
        return stopSignals.Arrived() == 0;
      });
  if (const int sig = stopSignals.Arrived(); sig != 0) {
    ctx.Failure(std::string("Stopped by SIG") + sigabbrev_np(sig) + "; " + out + " was not written.");
    return ExitSignal + sig;
  }
  if (!written) return ctx.Failure(written.Error);
  return ExitOk;
}

}  // namespace

std::vector<Command> SoundCommands() {
  return {{"render", "write a session's sound to a WAV, FLAC or Ogg file", kRenderHelp, Render}};
}

}  // namespace ovrel::cli
