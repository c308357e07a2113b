// ovrel plot: draws a session's timeline into a PNG or SVG file, without a
// display.

#include <QGuiApplication>
#include <charconv>
#include <cstdio>
#include <optional>

#include "cli/Command.h"
#include "plot/PlotFile.h"
#include "session/SessionFile.h"

namespace ovrel::cli {

namespace {

constexpr const char* kPlotHelp =
    "Usage: ovrel plot SESSION.svs -o OUT.png|OUT.svg [--width W] [--height H]\n"
    "Draws the session over its time axis as the editor's timeline shows it:\n"
    "the frequency from each segment's start to its end value (1 to 48 Hz, left\n"
    "scale), the pitch as a dashed trace (48 to 400 Hz, right scale) and the\n"
    "modes as a coloured band along the bottom. The file's extension chooses\n"
    "PNG or SVG. W and H are pixels, 1200 x 400 by default. Needs no display.\n";

bool ParsePixels(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

int Plot(const std::vector<std::string>& args) {
  std::string session, out;
  int width = kDefaultPlotSize.width(), height = kDefaultPlotSize.height();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "-o" || arg == "--output") {
      if (!hasValue) return UsageError("plot", "\"" + arg + "\" needs a file name.");
      out = args[++i];
    } else if (arg == "--width" || arg == "--height") {
      int& value = arg == "--width" ? width : height;
      if (!hasValue || !ParsePixels(args[i + 1], value))
        return UsageError("plot", "\"" + arg + "\" needs a whole number of pixels.");
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("plot", "unknown option \"" + arg + "\".");
    } else if (session.empty()) {
      session = arg;
    } else {
      return UsageError("plot", "more than one session file given.");
    }
  }
  if (session.empty()) return UsageError("plot", "no session file given.");
  if (out.empty()) return UsageError("plot", "no picture file given (-o OUT.png or OUT.svg).");
  if (!IsPlotFileName(QString::fromStdString(out)))
    return UsageError("plot", "the picture file must end in .png or .svg.");
  if (!HasExtension(session, ".svs"))
    return Failure(session + ": Unsupported session file format.");

  const SessionReadResult read = ReadSessionFile(session);
  if (!read) return Failure(read.Error);

  // The offscreen platform draws fonts and pictures without a display. Qt's
  // notes about the environment (no runtime folder, say) would only clutter
  // a script's output: what goes wrong with the picture is reported below.
  // A program that runs the command in-process brings its own application.
  std::optional<QGuiApplication> app;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
      if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "ovrel plot: %s\n", qPrintable(text));
    });
    static int argc = 1;
    static char name[] = "ovrel";
    static char* argv[] = {name, nullptr};
    app.emplace(argc, argv);
  }
  const QString error =
      WritePlotFile(*read.Session, QString::fromStdString(out), QSize(width, height));
  if (!error.isEmpty()) return Failure(error.toStdString());
  return ExitOk;
}

}  // namespace

std::vector<Command> PlotCommands() {
  return {{"plot", "draw a session's timeline into a PNG or SVG picture", kPlotHelp, Plot}};
}

}  // namespace ovrel::cli
