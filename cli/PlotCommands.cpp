// ovrel plot: draws a session's timeline into a PNG or SVG file, without a
// display.

#include <QGuiApplication>
#include <charconv>
#include <cstdio>
#include <optional>

#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "plot/PlotFile.h"
#include "format/SessionFile.h"

namespace ovrel::cli {

namespace {

constexpr const char* kPlotHelp =
    "Usage: ovrel plot SESSION.svs -o OUT.png|OUT.svg [--width W] [--height H]\n"
    "Draws the session over its time axis as the editor's timeline shows it:\n"
    "the frequency from each segment's start to its end value (1 to 48 Hz, left\n"
    "scale), the pitch as a dashed trace (48 to 400 Hz, right scale) and the\n"
    "modes as a coloured band along the bottom. The file's extension chooses\n"
    "PNG or SVG. Needs no display.\n";

bool ParsePixels(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

int Plot(Context& ctx, const CommandLine& line) {
  int width = kDefaultPlotSize.width(), height = kDefaultPlotSize.height();
  for (auto [name, value] : {std::pair{"width", &width}, std::pair{"height", &height}}) {
    const QString option = QString::fromLatin1(name);
    if (line.IsSet(option) && !ParsePixels(line.Value(option).toStdString(), *value))
      return ctx.UsageError("plot", "\"--" + std::string(name) + "\" needs a whole number of pixels.");
  }
  const QStringList sessions = line.Positional();
  if (sessions.size() > 1) return ctx.UsageError("plot", "more than one session file given.");
  const std::string session = sessions.isEmpty() ? std::string() : sessions[0].toStdString();
  const std::string out = line.Value(QStringLiteral("o")).toStdString();
  if (session.empty()) return ctx.UsageError("plot", "no session file given.");
  if (out.empty()) return ctx.UsageError("plot", "no picture file given (-o OUT.png or OUT.svg).");
  if (RefuseOutput(ctx, "plot", out, {".png", ".svg"}, {session}) != ExitOk) return ExitUsage;
  if (!IsPlotFileName(QString::fromStdString(out)))
    return ctx.UsageError("plot", "the picture file must end in .png or .svg.");
  if (!HasExtension(session, ".svs"))
    return ctx.Failure(session + ": Unsupported session file format.");

  const SessionReadResult read = ReadSessionFile(session);
  if (!read) return ctx.Failure(read.Error());

  // The offscreen platform draws fonts and pictures without a display. Qt's
  // notes about the environment (no runtime folder, say) would only clutter
  // a script's output: what goes wrong with the picture is reported below.
  // A program that runs the command in-process brings its own application.
  int argc = 1;
  char programName[] = "ovrel";
  char* argv[] = {programName, nullptr};
  std::optional<QGuiApplication> app;
  QtMessageHandler previousHandler = nullptr;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& text) {
          if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "ovrel plot: %s\n", qPrintable(text));
        });
    app.emplace(argc, argv);
  }
  const QString error = WritePlotFile(*read, QString::fromStdString(out), QSize(width, height));
  if (app) qInstallMessageHandler(previousHandler);
  if (!error.isEmpty()) return ctx.Failure(error.toStdString());
  return ExitOk;
}

}  // namespace

std::vector<Command> PlotCommands() {
  return {{.name = "plot",
           .summary = "draw a session's timeline into a PNG or SVG picture",
           .usage = kPlotHelp,
           .options = {OutputOption("OUT", "the picture file: .png or .svg (required)"),
                       {{QStringLiteral("width")},
                        QStringLiteral("W"),
                        QStringLiteral("the width in pixels (1200 by default)")},
                       {{QStringLiteral("height")},
                        QStringLiteral("H"),
                        QStringLiteral("the height in pixels (400 by default)")}},
           .run = Plot,
           .writesFiles = true}};
}

}  // namespace ovrel::cli
