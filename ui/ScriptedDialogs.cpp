#include "ui/ScriptedDialogs.h"

namespace ovrel {

MsgResult ScriptedDialogs::message(const MessageRequest& request) {
  calls_.push_back({Kind::Message, request, {}, {}, {}, request.window});
  if (!answers_.empty() && std::holds_alternative<MsgResult>(answers_.front())) {
    MsgResult r = std::get<MsgResult>(answers_.front());
    answers_.pop_front();
    return r;
  }
  // A plain OK box needs no scripted answer.
  if (request.buttons == MsgButtons::Ok) return MsgResult::Ok;
  ++unexpected_;
  return MsgResult::Cancel;
}

std::optional<QString> ScriptedDialogs::nextPath() {
  const auto* path =
      answers_.empty() ? nullptr : std::get_if<std::optional<QString>>(&answers_.front());
  if (!path) {
    ++unexpected_;
    return std::nullopt;
  }
  const bool chosen = path->has_value();
  const QString value = chosen ? **path : QString();
  answers_.pop_front();
  if (!chosen) return std::nullopt;
  return value;
}

std::optional<QString> ScriptedDialogs::openFile(const FileDialogRequest& request) {
  calls_.push_back({Kind::OpenFile, {}, request, {}, {}, request.window});
  return nextPath();
}

std::optional<QString> ScriptedDialogs::saveFile(const FileDialogRequest& request) {
  calls_.push_back({Kind::SaveFile, {}, request, {}, {}, request.window});
  return nextPath();
}

std::optional<QString> ScriptedDialogs::browseFolder(const FolderDialogRequest& request) {
  calls_.push_back(
      {Kind::BrowseFolder, {}, {}, request.title, request.startDir, request.window});
  return nextPath();
}

QStringList ScriptedDialogs::messageTexts() const {
  QStringList texts;
  for (const Call& c : calls_)
    if (c.kind == Kind::Message) texts << c.message.text;
  return texts;
}

}  // namespace ovrel
