#include "cli/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace ovrel::cli {

bool CommandLine::Parse(const std::vector<std::string>& args,
                        const QList<QCommandLineOption>& options) {
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser_.addOptions(options);
  QStringList list{QStringLiteral("ovrel")};  // the parser skips the program's name
  for (const std::string& arg : args) list << QString::fromStdString(arg);
  if (parser_.parse(list)) return true;

  const QStringList unknown = parser_.unknownOptionNames();
  MissingValue = unknown.isEmpty();
  if (MissingValue) {
    // Only the last argument can lack its value.
    Bad = args.empty() ? std::string() : args.back();
    return false;
  }
  // The first unknown option, spelt as it was given.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::size_t start = arg.find_first_not_of('-');
    if (start == std::string::npos) continue;
    const std::string name = arg.substr(start);
    if (QString::fromStdString(name.substr(0, name.find('='))) == unknown.front()) {
      Bad = arg;
      return false;
    }
  }
  Bad = "-" + unknown.front().toStdString();
  return false;
}

bool HasExtension(const std::string& path, const std::string& ext) {
  if (path.size() < ext.size()) return false;
  return std::equal(
      ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()),
      [](char e, char c) { return e == std::tolower(static_cast<unsigned char>(c)); });
}

}  // namespace ovrel::cli
