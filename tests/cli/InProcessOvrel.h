#pragma once
// Runs an ovrel command line in the test's own process, in a given working
// folder, with what it writes to standard output and error captured (at the
// level of the file descriptors, so stdio and iostreams alike).

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Ovrel.h"

namespace ovrel::test {

struct InProcessOutcome {
  int Status = -1;
  QString Out;
  QString Err;
};

inline QString ReadCaptured(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string bytes;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
  std::fclose(file);
  return QString::fromStdString(bytes);
}

inline InProcessOutcome RunOvrelInProcess(const QStringList& args, const QString& folder) {
  std::vector<std::string> argv;
  for (const QString& arg : args) argv.push_back(arg.toStdString());
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int savedOut = ::dup(STDOUT_FILENO);
  const int savedErr = ::dup(STDERR_FILENO);
  ::dup2(::fileno(out), STDOUT_FILENO);
  ::dup2(::fileno(err), STDERR_FILENO);
  const QString before = QDir::currentPath();
  QDir::setCurrent(folder);

  InProcessOutcome outcome;
  outcome.Status = ovrel::cli::RunOvrel(argv);

  QDir::setCurrent(before);
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  ::dup2(savedOut, STDOUT_FILENO);
  ::dup2(savedErr, STDERR_FILENO);
  ::close(savedOut);
  ::close(savedErr);
  outcome.Out = ReadCaptured(out);
  outcome.Err = ReadCaptured(err);
  return outcome;
}

}  // namespace ovrel::test
