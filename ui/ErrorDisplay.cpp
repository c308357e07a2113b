#include "ui/ErrorDisplay.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace ovrel {

QString WithFullStop(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

QString ErrorKind(const std::exception& error) {
  const char* mangled = typeid(error).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  QString name = QString::fromLatin1(status == 0 && demangled ? demangled.get() : mangled);
  const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
  return colons < 0 ? name : name.mid(colons + 2);
}

namespace {

// Kind and message of the exception in flight; non-standard exceptions have
// neither a class name nor a message we can read.
void Describe(std::exception_ptr error, QString& kind, QString& message) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    kind = ErrorKind(e);
    message = QString::fromUtf8(e.what());
  } catch (...) {
    kind = QStringLiteral("Exception");
    message = QStringLiteral("Unknown error");
  }
}

}  // namespace

void RunGuarded(Dialogs& dialogs, const std::function<void()>& handler) {
  std::exception_ptr error;
  try {
    handler();
    return;
  } catch (...) {
    error = std::current_exception();
  }
  ShowError(dialogs, error);
}

void ShowError(Dialogs& dialogs, std::exception_ptr error) {
  QString kind, message;
  Describe(error, kind, message);
  dialogs.ShowError(WithFullStop(message));
}

void ShowApplicationError(Dialogs& dialogs, std::exception_ptr error) {
  QString kind, message;
  Describe(error, kind, message);
  dialogs.Message({kApplicationErrorCaption,
                   kind + QStringLiteral(": ") + WithFullStop(message),
                   MsgIcon::Error,
                   MsgButtons::Ok,
                   {}});
}

}  // namespace ovrel
