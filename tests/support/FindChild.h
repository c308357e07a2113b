#pragma once
// A window's control, found by its object name; a missing one fails the test.

#include <gtest/gtest.h>

#include <QObject>
#include <QWidget>
#include <QWindow>

namespace ovrel {

template <class T>
T* Control(const QObject& window, const char* name) {
  T* control = window.findChild<T*>(QLatin1String(name));
  if (!control) ADD_FAILURE() << "no control named " << name;
  return control;
}

// A window's title as the desktop shows it: Qt's "[*]" placeholder becomes
// the modified marker "*" or nothing.
inline QString ShownTitle(const QWidget& window) {
  if (const QWindow* handle = window.windowHandle()) return handle->title();
  return QString(window.windowTitle())
      .replace(QStringLiteral("[*]"), window.isWindowModified() ? QStringLiteral("*") : QString());
}

}  // namespace ovrel
