// ovrel render: writes a session's sound (its frequency course as a binaural
// beat or an isochronic pulse) to a WAV, FLAC or Ogg Vorbis file.

#include <unistd.h>

#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "session/SesTime.h"
#include "session/SessionFile.h"
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

volatile std::sig_atomic_t stopSignal = 0;

// While a file is rendered, SIGINT, SIGTERM and SIGHUP stop it between two
// blocks, so that its temporary file is removed; the former handlers come
// back afterwards.
class StopOnSignals {
 public:
  StopOnSignals() {
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = [](int sig) { stopSignal = sig; };
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
      ::sigaction(kSignals[i], &action, &saved_[i]);
  }
  ~StopOnSignals() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &saved_[i], nullptr);
  }
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction saved_[std::size(kSignals)] {};
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
  explicit RenderProgress(int rate) : rate_(rate), terminal_(::isatty(STDERR_FILENO) == 1) {}
  ~RenderProgress() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }
  RenderProgress(const RenderProgress&) = delete;
  RenderProgress& operator=(const RenderProgress&) = delete;

  void Show(int64_t done, int64_t total) {
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (percent == percent_) return;
    percent_ = percent;
    const int64_t seconds = done / rate_, totalSeconds = total / rate_;
    EmitJson(QStringLiteral("progress"), {{QStringLiteral("percent"), percent},
                                          {QStringLiteral("seconds"), static_cast<qint64>(seconds)},
                                          {QStringLiteral("total"), static_cast<qint64>(totalSeconds)}});
    if (!terminal_) return;
    constexpr int kWidth = 30;
    const std::string bar = std::string(static_cast<std::size_t>(kWidth * percent / 100), '#') +
                            std::string(static_cast<std::size_t>(kWidth - kWidth * percent / 100), '.');
    std::fprintf(stderr, "\r\033[K[%s] %3d%% %s of %s", bar.c_str(), percent,
                 TimeText(seconds).c_str(), TimeText(totalSeconds).c_str());
    std::fflush(stderr);
    shown_ = true;
  }

 private:
  int rate_;
  bool terminal_;
  bool shown_ = false;
  int percent_ = -1;
};

int Render(const std::vector<std::string>& args) {
  std::string session, out;
  sound::SynthSettings settings;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "-o" || arg == "--output") {
      if (!hasValue || args[i + 1].empty()) return UsageError("render", "\"" + arg + "\" needs a file name.");
      out = args[++i];
    } else if (arg == "--rate") {
      if (!hasValue || !ParseWhole(args[i + 1], settings.Rate) || settings.Rate < sound::MinRate ||
          settings.Rate > sound::MaxRate)
        return UsageError("render", "\"--rate\" needs a whole number of hertz from 8000 to 192000.");
      ++i;
    } else if (arg == "--beat") {
      const std::string beat = hasValue ? args[++i] : std::string();
      if (beat == "binaural")
        settings.Beat = sound::BeatKind::Binaural;
      else if (beat == "isochronic")
        settings.Beat = sound::BeatKind::Isochronic;
      else
        return UsageError("render", "\"--beat\" is binaural or isochronic.");
    } else if (arg == "--fade") {
      if (!hasValue || !ParseNumber(args[i + 1], settings.FadeSeconds) ||
          settings.FadeSeconds < 0 || settings.FadeSeconds > kMaxFadeSeconds)
        return UsageError("render", "\"--fade\" needs a number of seconds from 0 to 600.");
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("render", "unknown option \"" + arg + "\".");
    } else if (session.empty()) {
      session = arg;
    } else {
      return UsageError("render", "more than one session file given.");
    }
  }
  if (session.empty()) return UsageError("render", "no session file given.");
  if (out.empty()) return UsageError("render", "no sound file given (-o OUT.wav, .flac or .ogg).");
  const std::optional<sound::SoundFileFormat> format = sound::SoundFileFormatOf(out);
  if (!format) return UsageError("render", "the sound file must end in .wav, .flac or .ogg.");
  if (!sound::FormatTakesRate(*format, settings.Rate))
    return UsageError("render", "this file type cannot hold " + std::to_string(settings.Rate) +
                                    " samples a second.");
  if (!HasExtension(session, ".svs")) return Failure(session + ": Unsupported session file format.");

  const SessionReadResult read = ReadSessionFile(session);
  if (!read) return Failure(read.Error);

  const StopOnSignals stopOnSignals;
  RenderProgress progress(settings.Rate);
  const FileWriteResult written = sound::WriteSoundFile(
      *read.Session, settings, *format, out, [&progress](int64_t done, int64_t total) {
        progress.Show(done, total);
        return stopSignal == 0;
      });
  if (stopSignal != 0) {
    const int sig = stopSignal;
    Failure(std::string("Stopped by SIG") + sigabbrev_np(sig) + "; " + out + " was not written.");
    return ExitSignal + sig;
  }
  if (!written) return Failure(written.Error);
  return ExitOk;
}

}  // namespace

std::vector<Command> SoundCommands() {
  return {{"render", "write a session's sound to a WAV, FLAC or Ogg file", kRenderHelp, Render}};
}

}  // namespace ovrel::cli
