#include "plot/SessionPlot.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace ovrel {

namespace {

constexpr double kLeftMargin = 34;   // room for the frequency scale
constexpr double kRightMargin = 38;  // room for the pitch scale
constexpr double kTopMargin = 18;    // room for the trace names
constexpr double kBandGap = 2;
constexpr double kBandHeight = 18;
constexpr double kTickLabelHeight = 18;
constexpr double kMinTickSpacing = 70;      // pixels between two time ticks
constexpr double kMinBoundarySpacing = 4;   // boundaries closer than this are left out
constexpr int64_t kMinViewSpan = TimeUnit;  // the deepest zoom: one unit

constexpr std::array<int, 6> kFreqTicks = {1, 10, 20, 30, 40, 48};
constexpr std::array<int, 5> kPitchTicks = {48, 100, 200, 300, 400};

// Seconds a segment lasts; a negative Time (only a damaged file holds one)
// lasts nothing.
int64_t Duration(const Segment& seg) {
  return int64_t{std::max(seg.Time, 0)} * TimeUnit;
}

QFont LabelFont() {
  QFont f;
  f.setStyleHint(QFont::SansSerif);
  f.setFamily(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(11);
  return f;
}

// Draws a trace through the points. A picture file gets one path, so the
// trace stays one element with a point at every boundary. On a raster image
// each piece is drawn as a line of its own: the rasteriser fills the outline
// of one long path that crosses itself hundreds of times (a sweeping
// session) over ten times slower than the same pieces apart.
void StrokeTrace(QPainter& p, const QPolygonF& points, const QPen& pen) {
  if (points.size() < 2) return;
  if (p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster) {
    std::vector<QLineF> lines;
    lines.reserve(static_cast<size_t>(points.size()));
    for (qsizetype i = 1; i < points.size(); ++i)
      if (points[i] != points[i - 1]) lines.emplace_back(points[i - 1], points[i]);
    p.setPen(pen);
    p.drawLines(lines.data(), static_cast<int>(lines.size()));
  } else {
    QPainterPath path(points.front());
    for (qsizetype i = 1; i < points.size(); ++i) path.lineTo(points[i]);
    p.strokePath(path, pen);
  }
}

}  // namespace

SessionPlot::SessionPlot(const Session& ses) : ses_(ses) {
  SetSize(size_);
}

void SessionPlot::SetSize(QSize size) {
  size_ = size;
  const double w = std::max(size.width(), 1);
  const double h = std::max(size.height(), 1);
  const double traceHeight =
      std::max(h - kTopMargin - kBandGap - kBandHeight - kTickLabelHeight, 10.0);
  trace_ =
      QRectF(kLeftMargin, kTopMargin, std::max(w - kLeftMargin - kRightMargin, 10.0), traceHeight);
  band_ = QRectF(trace_.left(), trace_.bottom() + kBandGap, trace_.width(), kBandHeight);
}

std::vector<int64_t> SessionPlot::Boundaries() const {
  std::vector<int64_t> b;
  const int count = std::clamp(ses_.SegCount, 0, MaxSegCount);
  b.reserve(static_cast<size_t>(count) + 1);
  int64_t t = 0;
  b.push_back(t);
  for (int k = 1; k <= count; ++k) b.push_back(t += Duration(ses_[k]));
  return b;
}

void SessionPlot::SetView(double fromSeconds, double toSeconds) {
  viewFrom_ = fromSeconds;
  viewTo_ = toSeconds;
  if (viewTo_ <= viewFrom_) FitAll();
}

void SessionPlot::FitAll() {
  viewFrom_ = 0;
  viewTo_ = 0;
}

double SessionPlot::ViewTo() const {
  if (viewTo_ > viewFrom_) return viewTo_;
  // The whole session; an empty one still gets a span to draw on.
  return SessionSpan();
}

double SessionPlot::SessionSpan() const {
  return static_cast<double>(std::max<int64_t>(Boundaries().back(), kMinViewSpan));
}

void SessionPlot::PanTo(double fromSeconds) {
  if (!Zoomed()) return;
  const double span = viewTo_ - viewFrom_;
  viewFrom_ = std::clamp(fromSeconds, 0.0, std::max(SessionSpan() - span, 0.0));
  viewTo_ = viewFrom_ + span;
}

void SessionPlot::ZoomAt(double x, double factor) {
  if (factor <= 0) return;
  const double total = SessionSpan();
  const double from = viewFrom_, to = ViewTo();
  const double span = std::clamp((to - from) / factor, double{kMinViewSpan}, total);
  if (span >= total) {
    FitAll();
    return;
  }
  const double at = TimeOfX(x);
  const double share = std::clamp((x - trace_.left()) / trace_.width(), 0.0, 1.0);
  const double newFrom = std::clamp(at - share * span, 0.0, total - span);
  viewFrom_ = newFrom;
  viewTo_ = newFrom + span;
}

void SessionPlot::SetSelection(int first, int last) {
  selFirst_ = std::min(first, last);
  selLast_ = std::max(first, last);
}

double SessionPlot::XOfTime(double seconds) const {
  const double from = viewFrom_, to = ViewTo();
  return trace_.left() + (seconds - from) / (to - from) * trace_.width();
}

double SessionPlot::TimeOfX(double x) const {
  const double from = viewFrom_, to = ViewTo();
  return from + (x - trace_.left()) / trace_.width() * (to - from);
}

double SessionPlot::YOfFreq(double hz) const {
  const double v = std::clamp(hz, double{FreqLow}, double{FreqHigh});
  return trace_.bottom() - (v - FreqLow) / (FreqHigh - FreqLow) * trace_.height();
}

double SessionPlot::YOfPitch(double hz) const {
  const double v = std::clamp(hz, double{PitchLow}, double{PitchHigh});
  return trace_.bottom() - (v - PitchLow) / (PitchHigh - PitchLow) * trace_.height();
}

int SessionPlot::SegmentAt(double x) const {
  if (x < trace_.left() || x > trace_.right()) return 0;
  const std::vector<int64_t> b = Boundaries();
  const double t = TimeOfX(x);
  if (t < 0 || t >= static_cast<double>(b.back())) return 0;
  // The first boundary after t ends the segment that holds t; segments
  // that last nothing are never found.
  const auto after = std::upper_bound(
      b.begin(), b.end(), t, [](double v, int64_t s) { return v < static_cast<double>(s); });
  return static_cast<int>(after - b.begin());
}

int64_t SessionPlot::TickStep(double spanSeconds, double pixels, double minPixels) {
  static constexpr std::array<int64_t, 14> kSteps = {15,   30,   60,   120,   300,   600,   900,
                                                     1800, 3600, 7200, 10800, 21600, 43200, 86400};
  for (int64_t step : kSteps) {
    if (pixels <= 0 || spanSeconds <= 0) return step;
    if (static_cast<double>(step) / spanSeconds * pixels >= minPixels) return step;
  }
  return kSteps.back();
}

QString SessionPlot::TickText(int64_t seconds) {
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void SessionPlot::Paint(QPainter& p) const {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRectF(0, 0, size_.width(), size_.height()), colors_.Background);
  p.setFont(LabelFont());

  const std::vector<int64_t> starts = Boundaries();
  const int count = static_cast<int>(starts.size()) - 1;
  // The segments that reach into the view.
  const double from = viewFrom_, to = ViewTo();
  int first = 1, last = count;
  while (first < last && static_cast<double>(starts[static_cast<size_t>(first)]) <= from) ++first;
  while (last > first && static_cast<double>(starts[static_cast<size_t>(last - 1)]) >= to) --last;

  // Value lines behind everything.
  p.setPen(QPen(colors_.Grid, 1));
  for (int f : kFreqTicks)
    p.drawLine(QPointF(trace_.left(), YOfFreq(f)), QPointF(trace_.right(), YOfFreq(f)));

  if (count > 0) {
    // The x of every boundary, worked out once for the whole picture.
    std::vector<double> xs(starts.size());
    const double scale = trace_.width() / (to - from);
    for (size_t i = 0; i < starts.size(); ++i)
      xs[i] = trace_.left() + (static_cast<double>(starts[i]) - from) * scale;
    p.save();
    p.setClipRect(trace_.united(band_));
    PaintSegments(p, xs, first, last);
    PaintModeBand(p, xs, first, last);
    p.restore();
  }
  PaintPlayhead(p);
  PaintAxes(p);
  p.restore();
}

void SessionPlot::PaintPlayhead(QPainter& p) const {
  if (playhead_ < 0) return;
  const double x = XOfTime(playhead_);
  if (x < trace_.left() || x > trace_.right()) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(colors_.Text, 2));
  p.drawLine(QPointF(x, trace_.top()), QPointF(x, band_.bottom()));
  // A small marker above the traces, which finds the line at a glance.
  p.setBrush(colors_.Text);
  p.setPen(Qt::NoPen);
  const QPointF marker[] = {{x - 5, trace_.top() - 6}, {x + 5, trace_.top() - 6}, {x, trace_.top()}};
  p.drawPolygon(marker, 3);
  p.restore();
}

void SessionPlot::PaintSegments(QPainter& p, const std::vector<double>& xs, int first,
                                int last) const {
  auto x = [&](int k) { return xs[static_cast<size_t>(k)]; };

  if (selFirst_ > 0 && selFirst_ <= last && selLast_ >= first) {
    const int a = std::max(selFirst_, 1), b = std::min(selLast_, last);
    const QRectF sel(QPointF(x(a - 1), trace_.top()), QPointF(x(b), band_.bottom()));
    p.fillRect(sel, colors_.Selection);
  }

  p.setPen(QPen(colors_.Boundary, 1));
  double lastX = -1e9;
  for (int k = first - 1; k <= last; ++k) {
    const double bx = std::round(x(k)) + 0.5;
    if (bx - lastX < kMinBoundarySpacing) continue;
    p.drawLine(QPointF(bx, trace_.top()), QPointF(bx, trace_.bottom()));
    lastX = bx;
  }

  // The traces: the frequency from start to end value of each segment, the
  // pitch held over each segment, joined at the boundaries.
  QPolygonF freq, pitch;
  freq.reserve(2 * (last - first + 1));
  pitch.reserve(2 * (last - first + 1));
  for (int k = first; k <= last; ++k) {
    const Segment& seg = ses_[k];
    const double x0 = x(k - 1), x1 = x(k);
    freq << QPointF(x0, YOfFreq(seg.FreqStart)) << QPointF(x1, YOfFreq(seg.FreqEnd));
    pitch << QPointF(x0, YOfPitch(seg.Pitch)) << QPointF(x1, YOfPitch(seg.Pitch));
  }
  QPen pitchPen(colors_.Pitch, 1.5, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
  pitchPen.setDashPattern({4, 2});
  StrokeTrace(p, pitch, pitchPen);
  StrokeTrace(p, freq, QPen(colors_.Frequency, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
}

void SessionPlot::PaintModeBand(QPainter& p, const std::vector<double>& xs, int first,
                                int last) const {
  auto x = [&](int k) { return xs[static_cast<size_t>(k)]; };
  const QFontMetricsF fm(p.font());
  const int top = static_cast<int>(std::round(band_.top()));
  const int height = static_cast<int>(std::round(band_.height()));
  // One rectangle per run of segments in the same mode, on whole pixels so
  // that hundreds of narrow runs fill fast and meet without seams.
  for (int k = first; k <= last;) {
    const int mode = ses_[k].Mode;
    int end = k;
    while (end < last && ses_[end + 1].Mode == mode) ++end;
    const int left = static_cast<int>(std::round(x(k - 1)));
    const int right = static_cast<int>(std::round(x(end)));
    k = end + 1;
    if (right <= left) continue;
    const QRect run(left, top, right - left, height);
    p.fillRect(run, colors_.ModeColor(mode));
    const QRectF shown = QRectF(run).intersected(band_);
    if (shown.width() < 12) continue;  // no mode text is that narrow
    const QString text = QString::fromStdString(ModeText(mode));
    if (fm.horizontalAdvance(text) + 4 <= shown.width()) {
      p.setPen(colors_.ModeTextColor(mode));
      p.drawText(shown, Qt::AlignCenter, text);
    }
  }
}

void SessionPlot::PaintAxes(QPainter& p) const {
  const QFontMetricsF fm(p.font());
  p.setPen(QPen(colors_.Axis, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(trace_);

  // Frequency scale on the left, pitch scale on the right, in the colours
  // of their traces; names above the traces.
  p.setPen(colors_.Frequency);
  for (int f : kFreqTicks) {
    const QRectF r(0, YOfFreq(f) - 8, trace_.left() - 4, 16);
    p.drawText(r, Qt::AlignRight | Qt::AlignVCenter, QString::number(f));
  }
  p.drawText(QRectF(trace_.left(), 0, trace_.width() / 2, kTopMargin),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Frequency (Hz)"));
  p.setPen(colors_.Pitch);
  for (int f : kPitchTicks) {
    const QRectF r(trace_.right() + 4, YOfPitch(f) - 8, kRightMargin - 4, 16);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString::number(f));
  }
  p.drawText(QRectF(trace_.center().x(), 0, trace_.width() / 2, kTopMargin),
             Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Pitch (Hz)"));

  // Time ticks below the mode band.
  const double from = viewFrom_, to = ViewTo();
  const int64_t step = TickStep(to - from, trace_.width(), kMinTickSpacing);
  const double labelTop = band_.bottom() + 1;
  p.setPen(QPen(colors_.Axis, 1));
  for (int64_t t = static_cast<int64_t>(std::ceil(from / static_cast<double>(step))) * step;
       static_cast<double>(t) <= to; t += step) {
    const double tx = XOfTime(static_cast<double>(t));
    p.drawLine(QPointF(tx, band_.bottom()), QPointF(tx, labelTop + 3));
    const QString text = TickText(t);
    const double w = fm.horizontalAdvance(text);
    const double left = std::clamp(tx - w / 2, 0.0, size_.width() - w);
    p.setPen(colors_.Text);
    p.drawText(QPointF(left, labelTop + 3 + fm.ascent()), text);
    p.setPen(QPen(colors_.Axis, 1));
  }
}

}  // namespace ovrel
