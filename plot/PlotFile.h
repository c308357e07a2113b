#pragma once
// Writes the picture of a session to a PNG or SVG file, in the light
// colours, without a window. Needs a QGuiApplication (any platform, the
// offscreen one included) for the fonts.

#include <QSize>
#include <QString>

#include "session/Session.h"

namespace ovrel {
class SessionPlot;
}

namespace ovrel {

inline constexpr QSize kDefaultPlotSize{1200, 400};

// The format follows the file name's extension, ".png" or ".svg" in any
// case. Returns an empty text on success, else what went wrong.
QString WritePlotFile(const Session& ses, const QString& path, QSize size = kDefaultPlotSize);
// The same for a plot as it is set up: its size, time span and colours.
QString WritePlotFile(const SessionPlot& plot, const QString& path);

// True when WritePlotFile can write a file of this name.
bool IsPlotFileName(const QString& path);

}  // namespace ovrel
