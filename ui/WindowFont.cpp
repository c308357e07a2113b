#include "ui/WindowFont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <utility>

namespace ovrel {

namespace {

// The captions that are tightest in their controls, with the room they have
// (control width less the button frame and margins).
const std::pair<const char*, int> kTightCaptions[] = {
    {"Session Library Compiler", 129 - 12},
    {"Uploading/adding single session to Sorvani", 280 - 8},
    {"Not connected", 87 - 8},
    {"Upload/Add", 73 - 12},
};

bool Fits(const QFont& font) {
  const QFontMetrics metrics(font);
  for (const auto& [text, room] : kTightCaptions)
    if (metrics.horizontalAdvance(QString::fromLatin1(text)) > room) return false;
  return true;
}

}  // namespace

QFont WindowFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  for (double points = 9.0; points > 6.0; points -= 0.5) {
    font.setPointSizeF(points);
    if (Fits(font)) return font;
  }
  font.setPointSizeF(6.0);
  return font;
}

}  // namespace ovrel
