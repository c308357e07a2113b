#include "ui/Dialogs.h"

#include <QStringList>

namespace ovrel {

MsgResult WindowDialogs::message(const MessageRequest& request) {
  return dialogs_.message(OverWindow(request));
}

std::optional<QString> WindowDialogs::openFile(const FileDialogRequest& request) {
  return dialogs_.openFile(OverWindow(request));
}

std::optional<QString> WindowDialogs::saveFile(const FileDialogRequest& request) {
  return dialogs_.saveFile(OverWindow(request));
}

std::optional<QString> WindowDialogs::browseFolder(const FolderDialogRequest& request) {
  return dialogs_.browseFolder(OverWindow(request));
}

QString toQtFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& desc = parts[i];
    const QString& pattern = parts[i + 1];
    // Descriptions that already name their pattern ("X (*.svs)") stay as they are.
    out << (desc.contains(QLatin1Char('('))
                ? desc
                : desc + QStringLiteral(" (") + pattern + QLatin1Char(')'));
  }
  return out.join(QStringLiteral(";;"));
}

}  // namespace ovrel
