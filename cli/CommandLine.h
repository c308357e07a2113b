#pragma once
// The options of one ovrel command, declared once (names, value name, help
// line), and its arguments as Qt's QCommandLineParser splits them by that
// declaration: long and short names, "--name=value" as well as "--name
// value", a single dash read as a long name, "--" to end the options. The
// same declaration gives the option lines of the command's help.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace ovrel::cli {

// One option of a command. Names: the short name (if any) first, e.g.
// {"o", "output"}. A ValueName makes it take a value ("--output FILE").
// Help may run over several lines ('\n'); each is indented under the first.
struct OptionSpec {
  QStringList Names;
  QString ValueName;
  QString Help;
};

// The option lines of a command's help: "  -o, --output FILE  help".
std::string OptionHelp(const std::vector<OptionSpec>& options);

class CommandLine {
 public:
  // Splits args by options; false on an unknown option or an option without
  // its value (Bad names it). With negativeNumbers, an argument such as "-4"
  // or "-0.5" is a value, not an option.
  bool Parse(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
             bool negativeNumbers = false);

  // The argument that made Parse fail, as given ("-x", "--port").
  std::string Bad;
  // True when Bad is an option whose value is missing, false when it is unknown.
  bool MissingValue = false;

  // Whether the option was given; false for an option the command does not
  // declare.
  bool IsSet(const QString& name) const { return declared_.contains(name) && parser_.isSet(name); }
  // The option's value (the last one given), empty when it is not set.
  QString Value(const QString& name) const;
  std::string Text(const QString& name) const { return Value(name).toStdString(); }
  QStringList Values(const QString& name) const;
  QStringList Positional() const;

 private:
  QCommandLineParser parser_;
  QStringList declared_;
};

// True when `path` ends in `ext` (with its dot), compared in lower case.
bool HasExtension(const std::string& path, const std::string& ext);

}  // namespace ovrel::cli
