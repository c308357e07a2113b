#include "ui/Dialogs.h"

#include <QStringList>

namespace ovrel {

MsgResult WindowDialogs::Message(const MessageRequest& request) {
  return dialogs_.Message(OverWindow(request));
}

std::optional<QString> WindowDialogs::OpenFile(const FileDialogRequest& request) {
  return dialogs_.OpenFile(OverWindow(request));
}

std::optional<QString> WindowDialogs::SaveFile(const FileDialogRequest& request) {
  return dialogs_.SaveFile(OverWindow(request));
}

std::optional<QString> WindowDialogs::BrowseFolder(const FolderDialogRequest& request) {
  return dialogs_.BrowseFolder(OverWindow(request));
}

std::optional<int> WindowDialogs::AskNumber(const NumberRequest& request) {
  return dialogs_.AskNumber(OverWindow(request));
}

QString ToQtFilter(const QString& filter) {
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
