#include "device/jobs/JobFiles.h"

#include <QFile>
#include <QFileInfo>
#include <string_view>

#include "fileio/AtomicFile.h"

namespace ovrel {

std::optional<QString> SaveWorkingFile(const QString& folder, const QString& name,
                                       std::span<const std::uint8_t> bytes) {
  const QString path = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
  if (QFileInfo(path).isSymLink()) {
    return QStringLiteral("Cannot write %1: it is a symbolic link, which is not followed")
        .arg(path);
  }
  const FileWriteResult written = WriteFileAtomicallyNoFollow(
      QFile::encodeName(path).toStdString(),
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (written) return std::nullopt;
  return QString::fromStdString(written.Error());
}

}  // namespace ovrel
