#pragma once
// The arguments of one ovrel command, split by Qt's QCommandLineParser: the
// options the command takes (long and short names, "--name=value" as well
// as "--name value", a single dash read as a long name), "--" to end them,
// and its positional arguments. On wrong usage it names the argument as
// it was given, for the command's own message.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace ovrel::cli {

class CommandLine {
 public:
  // Splits args; false on an unknown option or an option without its value
  // (Bad names it).
  bool Parse(const std::vector<std::string>& args, const QList<QCommandLineOption>& options);

  // The argument that made Parse fail, as given ("-x", "--port").
  std::string Bad;
  // True when Bad is an option whose value is missing, false when it is unknown.
  bool MissingValue = false;

  bool IsSet(const QString& name) const { return parser_.isSet(name); }
  QString Value(const QString& name) const { return parser_.value(name); }
  QStringList Values(const QString& name) const { return parser_.values(name); }
  QStringList Positional() const { return parser_.positionalArguments(); }

 private:
  QCommandLineParser parser_;
};

// True when `path` ends in `ext` (with its dot), compared in lower case.
bool HasExtension(const std::string& path, const std::string& ext);

}  // namespace ovrel::cli
