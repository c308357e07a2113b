#include "ui/WindowLayout.h"

namespace ovrel {

QLabel* MakeLabel(const QString& text, int left, int top, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(left, top, label->sizeHint().width(), label->sizeHint().height());
  return label;
}

QPushButton* MakeButton(const QString& text, const QRect& geometry, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(geometry);
  return button;
}

}  // namespace ovrel
