#include "device/link/OperationResult.h"

namespace ovrel {

QString OperationResult::Reason() const {
  if (Ok()) return {};
  if (!Message.Text.isEmpty()) return Message.Line();
  const QString command = At.Command ? QString(QChar(At.Command)) : QStringLiteral("a");
  if (Kind == FailureKind::WrongReply)
    return QStringLiteral("Sorvani answered the %1 command with another command's reply.")
        .arg(command);
  return QStringLiteral("Sorvani did not answer the %1 command in time.").arg(command);
}

}  // namespace ovrel
