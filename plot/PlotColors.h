#pragma once
// The colours of the session picture, for a light and a dark background.
// The traces and the mode bands come from a palette that people with
// red-green colour blindness tell apart (blue against orange and
// vermillion; the mode colours differ in lightness as well as hue), and
// the pitch trace is also dashed, so it never depends on colour alone.

#include <QColor>
#include <QPalette>
#include <array>

namespace ovrel {

struct PlotColors {
  QColor Background;
  QColor Text;
  QColor Axis;
  QColor Grid;                 // value lines behind the traces
  QColor Boundary;             // segment boundaries
  QColor Frequency;            // the frequency trace
  QColor Pitch;                // the pitch trace
  QColor Selection;            // translucent, over the selected segments
  std::array<QColor, 7> Mode;  // band colour of modes 0..6
  QColor OtherMode;            // band colour of a mode outside 0..6

  static PlotColors Light();
  static PlotColors Dark();
  // Light or Dark, whichever suits the palette's window colour.
  static PlotColors For(const QPalette& palette);

  QColor ModeColor(int mode) const;
  // Black or white, whichever reads better on the band colour of mode.
  QColor ModeTextColor(int mode) const;
};

}  // namespace ovrel
