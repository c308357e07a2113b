#include "storage/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"

namespace ovrel {
namespace {

// Relative paths from the installed executable's folder to the installed
// example data and documents; the build sets them from its install layout.
#ifndef OVREL_INSTALLED_DATA
#define OVREL_INSTALLED_DATA "../share/ovrelware"
#endif
#ifndef OVREL_INSTALLED_DOC
#define OVREL_INSTALLED_DOC "../share/doc/ovrelware"
#endif

QString Clean(const QString& path) {
  QString cleaned = QDir::cleanPath(path);
  if (cleaned.size() > 1 && cleaned.endsWith(QLatin1Char('/'))) cleaned.chop(1);
  return cleaned;
}

// Copies the files of the installed examples folder into target, which is
// made only when it does not exist yet: a folder the user has (and perhaps
// emptied on purpose) is left as it is.
void Seed(const QString& examples, const QString& target) {
  if (QFileInfo::exists(target)) return;
  if (!QDir().mkpath(target)) return;
  const QDir source(examples);
  for (const QFileInfo& file : source.entryInfoList(QDir::Files | QDir::Readable)) {
    const QString copy = target + QLatin1Char('/') + file.fileName();
    // Through the program's one reader and writer: an example is complete or
    // absent, and nothing already at its name is replaced. The copy is the
    // user's own to edit, whatever the installed file's permissions.
    const FileBytes example = ReadFileBytes(file.filePath().toStdString(), kMaxTextFileBytes);
    if (example && WriteNewFileAtomically(copy.toStdString(), *example))
      QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::WriteOwner);
  }
}

}  // namespace

QString PerUserDataFolder() {
  // QStandardPaths honours XDG_DATA_HOME and falls back to ~/.local/share.
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/ovrelware");
}

ProgramFolders LocateProgramFolders(const QString& executableFolder) {
  ProgramFolders folders;
  const QString executable = Clean(executableFolder);
  if (executable.isEmpty() || QFileInfo(executable).isWritable()) {
    folders.Program = executable;
    folders.Documents = executable;
    return folders;
  }
  folders.Program = Clean(PerUserDataFolder());
  folders.Documents = Clean(executable + QStringLiteral("/" OVREL_INSTALLED_DOC));
  folders.PerUser = true;
  const QString data = Clean(executable + QStringLiteral("/" OVREL_INSTALLED_DATA));
  QDir().mkpath(folders.Program);
  for (const char* sub : {"/Sessions", "/Libraries"})
    Seed(data + QLatin1String(sub), folders.Program + QLatin1String(sub));
  return folders;
}

ProgramFolders LocateProgramFolders() {
  return LocateProgramFolders(QCoreApplication::applicationDirPath());
}

}  // namespace ovrel
