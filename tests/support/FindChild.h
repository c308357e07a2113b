#pragma once
// A window's control, found by its object name; a missing one fails the test.

#include <gtest/gtest.h>

#include <QObject>

namespace ovrel {

template <class T>
T* Control(const QObject& window, const char* name) {
  T* control = window.findChild<T*>(QLatin1String(name));
  if (!control) ADD_FAILURE() << "no control named " << name;
  return control;
}

}  // namespace ovrel
