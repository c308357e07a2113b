#include "plot/PlotColors.h"

namespace ovrel {

namespace {

// Band colours of the modes "LR", "IN", "FB", "CR", "LA", "SA", "SL": orange,
// sky blue, bluish green, yellow, blue, vermillion, reddish purple. They fill
// the band whatever the theme, and their text is black or white to match.
const std::array<QColor, 7> kModeColors = {QColor(0xE6, 0x9F, 0x00), QColor(0x56, 0xB4, 0xE9),
                                           QColor(0x00, 0x9E, 0x73), QColor(0xF0, 0xE4, 0x42),
                                           QColor(0x00, 0x72, 0xB2), QColor(0xD5, 0x5E, 0x00),
                                           QColor(0xCC, 0x79, 0xA7)};

}  // namespace

PlotColors PlotColors::Light() {
  PlotColors c;
  c.Background = QColor(0xFF, 0xFF, 0xFF);
  c.Text = QColor(0x20, 0x20, 0x20);
  c.Axis = QColor(0x60, 0x60, 0x60);
  c.Grid = QColor(0xEC, 0xEC, 0xEC);
  c.Boundary = QColor(0xD4, 0xD4, 0xD4);
  c.Frequency = QColor(0x00, 0x5A, 0x8E);
  c.Pitch = QColor(0xD5, 0x5E, 0x00);
  c.Selection = QColor(0x00, 0x72, 0xB2, 48);
  c.Mode = kModeColors;
  c.OtherMode = QColor(0x99, 0x99, 0x99);
  return c;
}

PlotColors PlotColors::Dark() {
  PlotColors c;
  c.Background = QColor(0x1E, 0x1E, 0x1E);
  c.Text = QColor(0xE8, 0xE8, 0xE8);
  c.Axis = QColor(0xA0, 0xA0, 0xA0);
  c.Grid = QColor(0x2E, 0x2E, 0x2E);
  c.Boundary = QColor(0x48, 0x48, 0x48);
  c.Frequency = QColor(0x56, 0xB4, 0xE9);
  c.Pitch = QColor(0xE6, 0x9F, 0x00);
  c.Selection = QColor(0x56, 0xB4, 0xE9, 64);
  c.Mode = kModeColors;
  c.OtherMode = QColor(0x77, 0x77, 0x77);
  return c;
}

PlotColors PlotColors::For(const QPalette& palette) {
  return palette.color(QPalette::Window).lightnessF() < 0.5 ? Dark() : Light();
}

QColor PlotColors::ModeColor(int mode) const {
  return mode >= 0 && mode < static_cast<int>(Mode.size()) ? Mode[static_cast<size_t>(mode)]
                                                           : OtherMode;
}

QColor PlotColors::ModeTextColor(int mode) const {
  const QColor band = ModeColor(mode);
  // Relative luminance, weighted as the eye sees the channels.
  const double y = 0.2126 * band.redF() + 0.7152 * band.greenF() + 0.0722 * band.blueF();
  return y > 0.4 ? QColor(Qt::black) : QColor(Qt::white);
}

}  // namespace ovrel
