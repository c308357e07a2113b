#include "ui/FolderSettings.h"

namespace ovrel {

void FolderSettings::SetProgramFolders(const QString& program, const QString& documents) {
  programFolder_ = program;
  documentFolder_ = documents;
  sessionsFolder_ = program + QStringLiteral("/Sessions");
  librariesFolder_ = program + QStringLiteral("/Libraries");
}

}  // namespace ovrel
