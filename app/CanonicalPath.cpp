#include "app/CanonicalPath.h"

#include <QFileInfo>

namespace ovrel {

QString CanonicalPath(const QString& name) {
  if (name.isEmpty() || name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
    return {};
  // Empty when the path does not exist.
  return QFileInfo(name).canonicalFilePath();
}

}  // namespace ovrel
