#include "ui/ScriptedDialogs.h"

namespace ovrel {

MsgResult ScriptedDialogs::Message(const MessageRequest& request) {
  calls_.push_back({Kind::Message, request, {}, {}, {}, {}, request.Window});
  if (!answers_.empty() && std::holds_alternative<MsgResult>(answers_.front())) {
    MsgResult r = std::get<MsgResult>(answers_.front());
    answers_.pop_front();
    return r;
  }
  // A plain OK box needs no scripted answer.
  if (request.Buttons == MsgButtons::Ok) return MsgResult::Ok;
  ++unexpected_;
  return MsgResult::Cancel;
}

std::optional<QString> ScriptedDialogs::NextPath() {
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

std::optional<QString> ScriptedDialogs::OpenFile(const FileDialogRequest& request) {
  calls_.push_back({Kind::OpenFile, {}, request, {}, {}, {}, request.Window});
  return NextPath();
}

std::optional<QString> ScriptedDialogs::SaveFile(const FileDialogRequest& request) {
  calls_.push_back({Kind::SaveFile, {}, request, {}, {}, {}, request.Window});
  return NextPath();
}

std::optional<QString> ScriptedDialogs::BrowseFolder(const FolderDialogRequest& request) {
  calls_.push_back(
      {Kind::BrowseFolder, {}, {}, request.Title, request.StartDir, {}, request.Window});
  return NextPath();
}

std::optional<int> ScriptedDialogs::AskNumber(const NumberRequest& request) {
  calls_.push_back({Kind::Number, {}, {}, {}, {}, request, request.Window});
  if (!answers_.empty() && std::holds_alternative<int>(answers_.front())) {
    const int n = std::get<int>(answers_.front());
    answers_.pop_front();
    // The spin box takes no number outside its range.
    if (n < request.Minimum || n > request.Maximum) ++unexpected_;
    return n;
  }
  // A cancel, or no answer of this kind.
  NextPath();
  return std::nullopt;
}

QStringList ScriptedDialogs::MessageTexts() const {
  QStringList texts;
  for (const Call& c : calls_)
    if (c.Dialog == Kind::Message) texts << c.Message.Text;
  return texts;
}

}  // namespace ovrel
