// Picture files: the SVG carries the frequency trace with a point at every
// segment boundary; PNG has the asked size; bad names and sizes are refused
// without leaving a file behind.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <set>

#include "plot/PlotFile.h"
#include "plot/SessionPlot.h"

namespace ovrel {
namespace {

// A descending sweep of 12 segments, each going on where the last ended,
// and of different lengths.
Session Descent() {
  Session ses;
  ses.SegCount = 12;
  for (int k = 1; k <= 12; ++k)
    ses[k] = {1 + (k * 5) % 23, k % 7, 40 - 3 * (k - 1), 40 - 3 * k, 200};
  return ses;
}

// The points of the path drawn with the frequency trace's pen.
std::vector<QPointF> FrequencyPathPoints(const QString& svg, const QColor& colour) {
  const QRegularExpression group(
      QStringLiteral(
          "<g [^>]*stroke=\"%1\"[^>]*stroke-width=\"2\"[^>]*>\\s*<path[^>]* d=\"([^\"]*)\"")
          .arg(colour.name()));
  const QRegularExpressionMatch m = group.match(svg);
  std::vector<QPointF> points;
  if (!m.hasMatch()) return points;
  static const QRegularExpression point(QStringLiteral("[ML]([-0-9.e]+),([-0-9.e]+)"));
  for (auto it = point.globalMatch(m.captured(1)); it.hasNext();) {
    const auto p = it.next();
    points.emplace_back(p.captured(1).toDouble(), p.captured(2).toDouble());
  }
  return points;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PlotFileTest, SvgHoldsOnePathPointPerSegmentBoundary) {
  QTemporaryDir dir;
  const Session ses = Descent();
  const QString path = dir.filePath("descent.SVG");  // the extension in any case
  ASSERT_EQ(WritePlotFile(ses, path, {1000, 360}), "");
  const QString svg = QString::fromUtf8(ReadFile(path));
  EXPECT_TRUE(svg.contains("viewBox=\"0 0 1000 360\"")) << svg.left(400).toStdString();

  SessionPlot plot(ses);
  plot.SetSize({1000, 360});
  const std::vector<QPointF> points = FrequencyPathPoints(svg, plot.Colors().Frequency);
  const std::vector<int64_t> b = plot.Boundaries();
  ASSERT_EQ(points.size(), b.size());
  for (size_t i = 0; i < b.size(); ++i) {
    EXPECT_NEAR(points[i].x(), plot.XOfTime(static_cast<double>(b[i])), 0.05) << "boundary " << i;
    const double hz = i == 0 ? ses[1].FreqStart : ses[static_cast<int>(i)].FreqEnd;
    EXPECT_NEAR(points[i].y(), plot.YOfFreq(hz), 0.05) << "boundary " << i;
  }

  // A jump between segments adds the second point at the same boundary,
  // never a point between boundaries.
  Session jump = ses;
  jump[5].FreqStart = 45;
  ASSERT_EQ(WritePlotFile(jump, path, {1000, 360}), "");
  const std::vector<QPointF> jumped =
      FrequencyPathPoints(QString::fromUtf8(ReadFile(path)), plot.Colors().Frequency);
  EXPECT_EQ(jumped.size(), b.size() + 1);
  std::set<long> xs;
  for (const QPointF& p : jumped) xs.insert(std::lround(p.x() * 10));
  EXPECT_EQ(xs.size(), b.size());
}

TEST(PlotFileTest, PngHasTheAskedSizeAndTheBackgroundOfAPage) {
  QTemporaryDir dir;
  const QString path = dir.filePath("descent.png");
  ASSERT_EQ(WritePlotFile(Descent(), path, {640, 240}), "");
  const QImage image(path);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(640, 240));
  EXPECT_EQ(image.pixelColor(1, 1), PlotColors::Light().Background);
}

TEST(PlotFileTest, AnOldPictureStaysWholeWhenTheNewOneIsRefused) {
  QTemporaryDir dir;
  const Session ses = Descent();
  const QString kept = dir.filePath("kept.png");
  ASSERT_EQ(WritePlotFile(ses, kept, {300, 200}), "");
  const QByteArray before = ReadFile(kept);
  ASSERT_FALSE(before.isEmpty());
  EXPECT_NE(WritePlotFile(ses, kept, {30, 20}), "");
  EXPECT_EQ(ReadFile(kept), before);
}

}  // namespace
}  // namespace ovrel
