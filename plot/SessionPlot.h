#pragma once
// The picture of a session over its time axis: each segment's frequency as
// a line from its start to its end value (scale 1 to 48 Hz on the left), the
// pitch as a dashed step trace (48 to 400 Hz on the right), the modes as a
// coloured band with their texts along the bottom, segment boundaries as
// light lines and, while the session's sound plays, a playhead. The same
// drawing serves the timeline window and the picture files, so it needs
// QtGui only.

#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>
#include <vector>

#include "plot/PlotColors.h"
#include "session/Session.h"

namespace ovrel {

class SessionPlot {
 public:
  static constexpr int FreqLow = 1, FreqHigh = 48;
  static constexpr int PitchLow = 48, PitchHigh = 400;

  // The plot keeps a reference: it always draws the session as it is now.
  explicit SessionPlot(const Session& ses);

  // The visible time span in seconds; an empty or reversed span shows the
  // whole session.
  void SetView(double fromSeconds, double toSeconds);
  void FitAll();
  double ViewFrom() const { return viewFrom_; }
  double ViewTo() const;
  // Zooms by factor (above 1 zooms in) keeping the time under x in place,
  // within the session and down to a span of one 15-second unit.
  void ZoomAt(double x, double factor);
  // Moves a zoomed view to start at fromSeconds, keeping its span, within
  // the session.
  void PanTo(double fromSeconds);
  // The span the whole session takes on the time axis (at least one unit).
  double SessionSpan() const;
  // Whether only part of the session is visible.
  bool Zoomed() const { return viewTo_ > viewFrom_; }

  // Segments first..last (1-based) are drawn highlighted; 0, 0 for none.
  void SetSelection(int first, int last);
  // The playhead: a line at seconds into the session while its sound
  // plays; a negative time hides it.
  void SetPlayhead(double seconds) { playhead_ = seconds; }
  double Playhead() const { return playhead_; }
  void SetColors(const PlotColors& colors) { colors_ = colors; }
  const PlotColors& Colors() const { return colors_; }
  void SetSize(QSize size);
  QSize Size() const { return size_; }

  // Geometry for the current size: the area of the traces and of the band.
  QRectF TraceArea() const { return trace_; }
  QRectF ModeBand() const { return band_; }
  double XOfTime(double seconds) const;
  double TimeOfX(double x) const;
  double YOfFreq(double hz) const;
  double YOfPitch(double hz) const;
  // Segment number under x (1..SegCount), or 0 outside the session.
  int SegmentAt(double x) const;
  // Start of each segment in seconds, and the total as the last entry.
  std::vector<int64_t> Boundaries() const;

  void Paint(QPainter& p) const;

  // Time-axis step in seconds: the smallest of the steps 15 s, 30 s, 1, 2,
  // 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h that puts minPixels or more between
  // two ticks.
  static int64_t TickStep(double spanSeconds, double pixels, double minPixels);
  // A tick label: minutes ":" two-digit seconds, "0:00", "90:15", "2160:00".
  static QString TickText(int64_t seconds);

 private:
  void PaintAxes(QPainter& p) const;
  // xs: the x of every segment boundary, from the start of segment 1.
  void PaintSegments(QPainter& p, const std::vector<double>& xs, int first, int last) const;
  void PaintModeBand(QPainter& p, const std::vector<double>& xs, int first, int last) const;
  void PaintPlayhead(QPainter& p) const;

  const Session& ses_;
  PlotColors colors_ = PlotColors::Light();
  QSize size_{800, 300};
  QRectF trace_, band_;
  double viewFrom_ = 0, viewTo_ = 0;  // viewTo_ <= viewFrom_: the whole session
  int selFirst_ = 0, selLast_ = 0;
  double playhead_ = -1;
};

}  // namespace ovrel
