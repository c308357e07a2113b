#include "device/link/OperationResult.h"

#include <algorithm>

namespace ovrel {

bool OperationResult::HasNote(LinkText id) const {
  return std::any_of(Notes.begin(), Notes.end(),
                     [id](const LinkMessage& note) { return note.Id == id; });
}

QString OperationResult::Reason() const {
  if (Ok()) return {};
  if (!Message.Empty()) return Message.Line();
  const QString command = At.Command ? QString(QChar(At.Command)) : QStringLiteral("a");
  if (Kind == FailureKind::WrongReply)
    return QStringLiteral("Sorvani answered the %1 command with another command's reply.")
        .arg(command);
  return QStringLiteral("Sorvani did not answer the %1 command in time.").arg(command);
}

}  // namespace ovrel
