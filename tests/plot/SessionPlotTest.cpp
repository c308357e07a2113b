// The session picture drawn into an image: traces, band and selection at
// the places their values give, the time axis from a minute to 36 hours,
// zooming, hit testing, and colours told apart without red-green vision.

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "plot/SessionPlot.h"

namespace ovrel {
namespace {

// Three segments: a rising sweep in "LR", a steady hold in "FB", a falling
// sweep in "LA"; the pitch stays far from the frequency line at every
// segment's middle.
Session KnownSession() {
  Session ses;
  ses.SegCount = 3;
  ses[1] = {4, 0, 10, 30, 350};
  ses[2] = {8, 2, 30, 30, 60};
  ses[3] = {4, 4, 40, 4, 120};
  return ses;
}

QImage Draw(const SessionPlot& plot) {
  QImage image(plot.Size(), QImage::Format_ARGB32);
  QPainter p(&image);
  plot.Paint(p);
  return image;
}

// Distance between two colours, 0 to 441.
double Distance(QColor a, QColor b) {
  return std::hypot(a.red() - b.red(), a.green() - b.green(), a.blue() - b.blue());
}

// The colour closest to want within two pixels of (x, y): an antialiased
// line of 2 pixels always has a pixel of nearly its own colour there.
QColor NearestTo(const QImage& image, double x, double y, QColor want) {
  QColor best = image.pixelColor(static_cast<int>(x), static_cast<int>(y));
  for (int dx = -2; dx <= 2; ++dx)
    for (int dy = -2; dy <= 2; ++dy) {
      const QColor c = image.pixelColor(static_cast<int>(x) + dx, static_cast<int>(y) + dy);
      if (Distance(c, want) < Distance(best, want)) best = c;
    }
  return best;
}

class SessionPlotTest : public testing::Test {
 protected:
  void SetUp() override { plot.SetSize({800, 300}); }
  Session ses = KnownSession();
  SessionPlot plot{ses};
};

TEST_F(SessionPlotTest, FrequencyAndPitchAreAtTheHeightTheirValuesGive) {
  const QImage image = Draw(plot);
  const auto b = plot.Boundaries();
  ASSERT_EQ(b, (std::vector<int64_t>{0, 60, 180, 240}));
  for (int k = 1; k <= 3; ++k) {
    const double x = plot.XOfTime((b[k - 1] + b[k]) / 2.0);
    const double mid = (ses[k].FreqStart + ses[k].FreqEnd) / 2.0;
    EXPECT_LT(Distance(NearestTo(image, x, plot.YOfFreq(mid), plot.Colors().Frequency),
                       plot.Colors().Frequency),
              40)
        << "frequency of segment " << k;
    // The same place a tenth of the height off holds no frequency line.
    EXPECT_GT(Distance(NearestTo(image, x, plot.YOfFreq(mid) + 30, plot.Colors().Frequency),
                       plot.Colors().Frequency),
              100)
        << "segment " << k;
    // The pitch trace is dashed: one of the pixels along a dash length is on.
    double nearest = 1000;
    for (int dx = -4; dx <= 4; ++dx)
      nearest = std::min(nearest, Distance(NearestTo(image, x + dx, plot.YOfPitch(ses[k].Pitch),
                                                     plot.Colors().Pitch),
                                           plot.Colors().Pitch));
    // Thinner than the frequency line, so blended more; white is over 300 away.
    EXPECT_LT(nearest, 80) << "pitch of segment " << k;
  }
  // The scales: 48 Hz at the top of both, 1 and 48 at the edges.
  EXPECT_DOUBLE_EQ(plot.YOfFreq(48), plot.TraceArea().top());
  EXPECT_DOUBLE_EQ(plot.YOfPitch(400), plot.TraceArea().top());
  EXPECT_DOUBLE_EQ(plot.YOfPitch(48), plot.TraceArea().bottom());
}

TEST_F(SessionPlotTest, ModeBandHasEachModesColourAndUnknownModesTheirOwn) {
  ses[2].Mode = 9;  // only a damaged file holds such a mode
  const QImage image = Draw(plot);
  const auto b = plot.Boundaries();
  const int y = static_cast<int>(plot.ModeBand().center().y());
  for (int k = 1; k <= 3; ++k) {
    // Just inside the segment's left end, clear of the centred text.
    const int x = static_cast<int>(plot.XOfTime(static_cast<double>(b[k - 1]))) + 3;
    EXPECT_EQ(image.pixelColor(x, y), plot.Colors().ModeColor(ses[k].Mode)) << "segment " << k;
  }
  EXPECT_EQ(plot.Colors().ModeColor(9), plot.Colors().OtherMode);
  for (int m = 0; m < 7; ++m) EXPECT_NE(plot.Colors().ModeColor(m), plot.Colors().OtherMode);
}

TEST_F(SessionPlotTest, SelectionIsHighlightedOnlyOverTheSelectedSegments) {
  const QPointF empty2(plot.XOfTime(100), plot.YOfFreq(45));  // segment 2, above its traces
  const QPointF empty3(plot.XOfTime(230), plot.YOfFreq(45));
  plot.SetSelection(2, 2);
  QImage image = Draw(plot);
  EXPECT_NE(image.pixelColor(empty2.toPoint()), plot.Colors().Background);
  EXPECT_EQ(image.pixelColor(empty3.toPoint()), plot.Colors().Background);
  // A selection given from right to left is the same range.
  plot.SetSelection(3, 2);
  image = Draw(plot);
  EXPECT_NE(image.pixelColor(empty3.toPoint()), plot.Colors().Background);
  plot.SetSelection(0, 0);
  image = Draw(plot);
  EXPECT_EQ(image.pixelColor(empty2.toPoint()), plot.Colors().Background);
}

TEST_F(SessionPlotTest, SegmentAtFindsNoSegmentBesideTheSessionOrOneThatLastsNothing) {
  EXPECT_EQ(plot.SegmentAt(plot.XOfTime(59)), 1);
  EXPECT_EQ(plot.SegmentAt(plot.XOfTime(61)), 2);
  EXPECT_EQ(plot.SegmentAt(plot.TraceArea().left() - 1), 0);
  EXPECT_EQ(plot.SegmentAt(plot.TraceArea().right() + 1), 0);
  // A segment that lasts nothing (Time 0 or below, from a damaged file)
  // is never hit, and the picture still draws.
  ses[2].Time = 0;
  ses[3].Time = -3;
  EXPECT_EQ(plot.SegmentAt(plot.XOfTime(59)), 1);
  EXPECT_EQ(plot.SegmentAt(plot.XOfTime(61)), 0);
  EXPECT_FALSE(Draw(plot).isNull());
}

TEST_F(SessionPlotTest, WheelZoomKeepsThePointedTimeAndStaysWithinTheSession) {
  const double x = plot.XOfTime(180);
  plot.ZoomAt(x, 2.0);
  EXPECT_NEAR(plot.TimeOfX(x), 180, 1e-6);
  EXPECT_NEAR(plot.ViewTo() - plot.ViewFrom(), 120, 1e-6);
  // Deep zoom stops at one 15-second unit; near the end the view stays
  // inside the session.
  for (int i = 0; i < 20; ++i) plot.ZoomAt(plot.TraceArea().right(), 2.0);
  EXPECT_NEAR(plot.ViewTo() - plot.ViewFrom(), 15, 1e-6);
  EXPECT_LE(plot.ViewTo(), 240 + 1e-6);
  // Zooming out past the whole session shows it whole.
  for (int i = 0; i < 20; ++i) plot.ZoomAt(plot.TraceArea().left(), 0.5);
  EXPECT_EQ(plot.ViewFrom(), 0);
  EXPECT_EQ(plot.ViewTo(), 240);
  // A session that grows while fitted stays fitted.
  ses[1].Time = 23;
  EXPECT_EQ(plot.ViewTo(), 23 * 15 + 180);
}

TEST(TimeAxisTest, TicksStayReadableFromOneMinuteToThirtySixHours) {
  for (const double span : {60.0, 15.0 * 4 * 23, 3600.0, 131100.0, 36 * 3600.0}) {
    for (const double pixels : {300.0, 1200.0, 4000.0}) {
      const int64_t step = SessionPlot::TickStep(span, pixels, 70);
      const double apart = static_cast<double>(step) / span * pixels;
      // Far enough apart for their labels; never so few that a long
      // stretch has none, unless the smallest step is already too wide.
      EXPECT_GE(apart, 70) << span << " s on " << pixels << " px";
      if (step > 15) {
        EXPECT_LT(apart, 70 * 4) << span << " s on " << pixels << " px";
      }
    }
  }
  EXPECT_EQ(SessionPlot::TickText(0), "0:00");
  EXPECT_EQ(SessionPlot::TickText(75), "1:15");
  EXPECT_EQ(SessionPlot::TickText(36 * 3600), "2160:00");
}

// Colours as seen with deuteranopia and protanopia (the Machado, Oliveira and
// Fernandes matrices at full severity, applied to linear RGB).
QColor Simulate(QColor c, const double m[3][3]) {
  auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  auto gam = [](double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  };
  const double rgb[3] = {lin(c.redF()), lin(c.greenF()), lin(c.blueF())};
  double out[3];
  for (int i = 0; i < 3; ++i) out[i] = gam(m[i][0] * rgb[0] + m[i][1] * rgb[1] + m[i][2] * rgb[2]);
  return QColor::fromRgbF(static_cast<float>(out[0]), static_cast<float>(out[1]),
                          static_cast<float>(out[2]));
}

TEST(PlotColorsTest, TracesBandsAndThemesStayApartWithoutRedGreenVision) {
  static const double kDeuteranopia[3][3] = {{0.367322, 0.860646, -0.227968},
                                             {0.280085, 0.672501, 0.047413},
                                             {-0.011820, 0.042940, 0.968881}};
  static const double kProtanopia[3][3] = {{0.152286, 1.052583, -0.204868},
                                           {0.114503, 0.786281, 0.099216},
                                           {-0.003882, -0.048116, 1.051998}};
  static const double kNormal[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (const PlotColors& c : {PlotColors::Light(), PlotColors::Dark()}) {
    for (const auto* m : {kNormal, kDeuteranopia, kProtanopia}) {
      const QColor bg = Simulate(c.Background, m);
      EXPECT_GT(Distance(Simulate(c.Frequency, m), Simulate(c.Pitch, m)), 80);
      EXPECT_GT(Distance(Simulate(c.Frequency, m), bg), 100);
      EXPECT_GT(Distance(Simulate(c.Pitch, m), bg), 100);
      EXPECT_GT(Distance(Simulate(c.Text, m), bg), 150);
      for (int a = 0; a < 7; ++a)
        for (int b = a + 1; b < 7; ++b)
          EXPECT_GT(Distance(Simulate(c.ModeColor(a), m), Simulate(c.ModeColor(b), m)), 25)
              << "modes " << a << " and " << b;
    }
  }
  // A dark window palette gets the dark colours, a light one the light.
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
  EXPECT_EQ(PlotColors::For(dark).Background, PlotColors::Dark().Background);
  QPalette light;
  light.setColor(QPalette::Window, QColor(0xEF, 0xEF, 0xEF));
  EXPECT_EQ(PlotColors::For(light).Background, PlotColors::Light().Background);
}

}  // namespace
}  // namespace ovrel
