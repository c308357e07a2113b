#pragma once
// The dialogs of the running program: Qt message boxes and file dialogs,
// each opened over the window that asks, or without one over the window that
// is active at the time.

#include "ui/Dialogs.h"

namespace ovrel {

class QtDialogs : public Dialogs {
 public:
  MsgResult Message(const MessageRequest& request) override;
  std::optional<QString> OpenFile(const FileDialogRequest& request) override;
  std::optional<QString> SaveFile(const FileDialogRequest& request) override;
  std::optional<QString> BrowseFolder(const FolderDialogRequest& request) override;
  std::optional<int> AskNumber(const NumberRequest& request) override;
};

}  // namespace ovrel
