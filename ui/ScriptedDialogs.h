#pragma once
// Dialogs for tests: answers come from a queue set up in advance, and every
// request is recorded so that a test can check its exact texts. A dialog that
// is opened with no answer queued fails the test through the recorded log
// (it answers Cancel, or nothing, and marks unexpected()).

#include <QStringList>
#include <deque>
#include <variant>
#include <vector>

#include "ui/Dialogs.h"

namespace ovrel {

class ScriptedDialogs : public Dialogs {
 public:
  enum class Kind { Message, OpenFile, SaveFile, BrowseFolder };
  struct Call {
    Kind kind;
    MessageRequest message;   // for Message
    FileDialogRequest file;   // for OpenFile and SaveFile
    QString title, startDir;  // for BrowseFolder
    QWidget* window = nullptr;  // the window the dialog was opened over
  };
  // An answer: a button for a message box, a path (or nothing = cancel) for
  // a file dialog or the folder browser.
  using Answer = std::variant<MsgResult, std::optional<QString>>;

  void answer(MsgResult r) { answers_.push_back(r); }
  void answerPath(const QString& path) { answers_.push_back(std::optional<QString>(path)); }
  void answerCancel() { answers_.push_back(std::optional<QString>()); }

  MsgResult message(const MessageRequest& request) override;
  std::optional<QString> openFile(const FileDialogRequest& request) override;
  std::optional<QString> saveFile(const FileDialogRequest& request) override;
  std::optional<QString> browseFolder(const FolderDialogRequest& request) override;

  const std::vector<Call>& calls() const { return calls_; }
  // Texts of all message boxes shown so far, in order.
  QStringList messageTexts() const;
  void clear() {
    calls_.clear();
    answers_.clear();
    unexpected_ = 0;
  }
  // Dialogs that were opened without a queued answer of the right kind.
  int unexpected() const { return unexpected_; }
  bool allAnswersUsed() const { return answers_.empty(); }

 private:
  std::optional<QString> nextPath();
  std::vector<Call> calls_;
  std::deque<Answer> answers_;
  int unexpected_ = 0;
};

}  // namespace ovrel
