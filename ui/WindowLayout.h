#pragma once
// Controls placed at fixed positions, as the program's windows lay them out.

#include <QLabel>
#include <QPushButton>
#include <QRect>

namespace ovrel {

// A label at (left, top), as large as its text.
QLabel* MakeLabel(const QString& text, int left, int top, QWidget* parent);
QPushButton* MakeButton(const QString& text, const QRect& geometry, QWidget* parent);

}  // namespace ovrel
