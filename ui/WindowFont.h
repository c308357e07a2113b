#pragma once
// The font of the program's windows: the platform's default sans-serif at
// the largest size (up to 9 points) at which every caption fits the fixed
// control sizes of the windows.

#include <QFont>

namespace ovrel {

QFont WindowFont();

}  // namespace ovrel
