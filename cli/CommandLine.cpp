#include "cli/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace ovrel::cli {
namespace {

// Marks a negative number so that the parser takes it for a value; the
// mark is taken off again before anyone sees the argument.
const QChar kNumberMark(0xFDD0);

bool IsNegativeNumber(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-' &&
         (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.');
}

QString Unmarked(QString arg) {
  if (arg.startsWith(kNumberMark)) arg.remove(0, 1);
  return arg;
}

QStringList Unmarked(QStringList args) {
  for (QString& arg : args) arg = Unmarked(arg);
  return args;
}

std::string LeftColumn(const OptionSpec& option) {
  std::string text = "  ";
  for (const QString& name : option.Names) {
    if (text.size() > 2) text += ", ";
    text += (name.size() == 1 ? "-" : "--") + name.toStdString();
  }
  if (!option.ValueName.isEmpty()) text += " " + option.ValueName.toStdString();
  return text;
}

}  // namespace

std::string OptionHelp(const std::vector<OptionSpec>& options) {
  std::size_t width = 0;
  for (const OptionSpec& option : options) width = std::max(width, LeftColumn(option).size());
  std::string help;
  for (const OptionSpec& option : options) {
    std::string left = LeftColumn(option);
    left.resize(width + 3, ' ');
    const QStringList lines = option.Help.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
      help += (i == 0 ? left : std::string(width + 3, ' ')) + lines[i].toStdString() + "\n";
  }
  return help;
}

bool CommandLine::Parse(const std::vector<std::string>& args,
                        const std::vector<OptionSpec>& options, bool negativeNumbers) {
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const OptionSpec& option : options) {
    parser_.addOption(QCommandLineOption(option.Names, option.Help, option.ValueName));
    declared_ << option.Names;
  }
  QStringList list{QStringLiteral("ovrel")};  // the parser skips the program's name
  for (const std::string& arg : args) {
    QString text = QString::fromStdString(arg);
    if (negativeNumbers && IsNegativeNumber(arg)) text.prepend(kNumberMark);
    list << text;
  }
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

QString CommandLine::Value(const QString& name) const {
  return declared_.contains(name) ? Unmarked(parser_.value(name)) : QString();
}

QStringList CommandLine::Values(const QString& name) const {
  return declared_.contains(name) ? Unmarked(parser_.values(name)) : QStringList();
}

QStringList CommandLine::Positional() const {
  return Unmarked(parser_.positionalArguments());
}

bool HasExtension(const std::string& path, const std::string& ext) {
  if (path.size() < ext.size()) return false;
  return std::equal(
      ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()),
      [](char e, char c) { return e == std::tolower(static_cast<unsigned char>(c)); });
}

}  // namespace ovrel::cli
