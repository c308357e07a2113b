#include "plot/PlotFile.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QBuffer>
#include <QFile>
#include <QSvgGenerator>

#include "plot/SessionPlot.h"
#include "fileio/AtomicFile.h"

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
  // Drawn in memory, then written as a whole: a failed write never leaves
  // a half picture in place of an old one.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);

  if (Suffix(path) == QLatin1String("svg")) {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
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
    if (!image.save(&buffer, "PNG"))
      return QStringLiteral("%1: the picture could not be encoded").arg(path);
  }
  buffer.close();
  const FileWriteResult written =
      WriteFileAtomically(QFile::encodeName(path).toStdString(),
                          std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!written) return QString::fromStdString(written.Error());
  return {};
}

}  // namespace ovrel
