#pragma once
// Runs an ovrel command line in the test's own process, in a given working
// folder, with what it writes to its output and error streams captured.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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

// A file command's test: runs ovrel in a temporary folder and reads and
// writes the files there.
class FileCommandTest : public ::testing::Test {
 protected:
  struct Outcome {
    int status = -1;
    std::string err;
  };
  Outcome ovrel(const QStringList& args) {
    const InProcessOutcome run = RunOvrelInProcess(args, dir.path());
    return {run.Status, run.Err.toStdString()};
  }
  void write(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QByteArray read(const QString& name) {
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
  }
  QTemporaryDir dir;
};

}  // namespace ovrel::test
