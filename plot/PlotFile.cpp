#include "plot/PlotFile.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include "plot/SessionPlot.h"

namespace ovrel {

namespace {

QString Suffix(const QString& path) {
  return QFileInfo(path).suffix().toLower();
}

}  // namespace

bool IsPlotFileName(const QString& path) {
  const QString suffix = Suffix(path);
  return suffix == QLatin1String("png") || suffix == QLatin1String("svg");
}

QString WritePlotFile(const Session& ses, const QString& path, QSize size) {
  if (!IsPlotFileName(path))
    return QStringLiteral("%1: the picture must be a .png or .svg file").arg(path);
  if (size.width() < 100 || size.height() < 80 || size.width() > 20000 || size.height() > 20000)
    return QStringLiteral("%1: the picture size must be 100 x 80 to 20000 x 20000 pixels")
        .arg(path);

  SessionPlot plot(ses);
  plot.SetSize(size);
  return WritePlotFile(plot, path);
}

QString WritePlotFile(const SessionPlot& plot, const QString& path) {
  if (!IsPlotFileName(path))
    return QStringLiteral("%1: the picture must be a .png or .svg file").arg(path);
  const QSize size = plot.Size();
  // Written to a temporary file first, so a failed write never leaves a
  // half picture in place of an old one.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return QStringLiteral("%1: %2").arg(path, file.errorString());

  if (Suffix(path) == QLatin1String("svg")) {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Session timeline"));
    QPainter p(&svg);
    plot.Paint(p);
  } else {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    plot.Paint(p);
    p.end();
    if (!image.save(&file, "PNG")) {
      file.cancelWriting();
      return QStringLiteral("%1: the picture could not be encoded").arg(path);
    }
  }
  if (!file.commit()) return QStringLiteral("%1: %2").arg(path, file.errorString());
  return {};
}

}  // namespace ovrel
