#pragma once
// Fixed texts of the application shell.

#include <QString>

#include "ProductInfo.h"

namespace ovrel {

inline const QString kProductCaption = QString::fromLatin1(kProductTitle);
inline const QString kMakerLine = QStringLiteral("Made by Sorvani Instruments");

}  // namespace ovrel
