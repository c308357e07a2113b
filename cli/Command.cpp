#include "cli/Command.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "cli/JsonOutput.h"

namespace ovrel::cli {

int UsageError(const std::string& command, const std::string& what) {
  NoteOutcome(QString::fromStdString(what));
  std::cerr << "ovrel " << command << ": " << what << " \"ovrel " << command
            << " --help\" shows the usage.\n";
  return ExitUsage;
}

int Failure(const std::string& what) {
  NoteOutcome(QString::fromStdString(what));
  std::cerr << what << "\n";
  return ExitFailed;
}

bool HasExtension(const std::string& path, const std::string& ext) {
  if (path.size() < ext.size()) return false;
  return std::equal(
      ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()),
      [](char e, char c) { return e == std::tolower(static_cast<unsigned char>(c)); });
}

}  // namespace ovrel::cli
