// What a screen reader calls each control of a window that the keyboard reaches.
#pragma once

#include <QAccessible>
#include <QStringList>
#include <QWidget>

namespace ovrel::test {

inline QStringList AccessibleNamesOfControls(QWidget& window) {
  QStringList names;
  for (QWidget* control : window.findChildren<QWidget*>()) {
    if (control->focusPolicy() == Qt::NoFocus || !control->isVisibleTo(&window)) continue;
    names << QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
  }
  return names;
}

}  // namespace ovrel::test
