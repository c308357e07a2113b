#pragma once
// Runs an ovrel command line in the test's own process, in a given working
// folder, with what it writes to its output and error streams captured.

#include <QDir>
#include <QString>
#include <QStringList>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Ovrel.h"

namespace ovrel::test {

struct InProcessOutcome {
  int Status = -1;
  QString Out;
  QString Err;
};

inline InProcessOutcome RunOvrelInProcess(const QStringList& args, const QString& folder) {
  std::vector<std::string> argv;
  for (const QString& arg : args) argv.push_back(arg.toStdString());
  std::ostringstream out;
  std::ostringstream err;
  const QString before = QDir::currentPath();
  QDir::setCurrent(folder);
  const int status = ovrel::cli::RunOvrel(argv, {out, err});
  QDir::setCurrent(before);
  return {status, QString::fromStdString(out.str()), QString::fromStdString(err.str())};
}

}  // namespace ovrel::test
