#pragma once
// Fixed texts of the application shell.

#include <QString>

namespace ovrel {

inline const QString kProductCaption = QStringLiteral("Sorvani Ovrelware 1.5");
inline const QString kMakerLine = QStringLiteral("Made by Sorvani Instruments");

}  // namespace ovrel
