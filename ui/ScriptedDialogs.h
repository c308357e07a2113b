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
  enum class Kind { Message, OpenFile, SaveFile, BrowseFolder, Number };
  struct Call {
    Kind Dialog;
    MessageRequest Message;     // for Message
    FileDialogRequest File;     // for OpenFile and SaveFile
    QString Title, StartDir;    // for BrowseFolder
    NumberRequest Number;       // for Number
    QWidget* Window = nullptr;  // the window the dialog was opened over
  };
  // An answer: a button for a message box, a path (or nothing = cancel) for
  // a file dialog or the folder browser, a number for a number input (which
  // AnswerCancel cancels too).
  using Answer = std::variant<MsgResult, std::optional<QString>, int>;

  void AnswerButton(MsgResult r) { answers_.push_back(r); }
  void AnswerPath(const QString& path) { answers_.push_back(std::optional<QString>(path)); }
  void AnswerCancel() { answers_.push_back(std::optional<QString>()); }
  void AnswerNumber(int n) { answers_.push_back(n); }

  MsgResult Message(const MessageRequest& request) override;
  std::optional<QString> OpenFile(const FileDialogRequest& request) override;
  std::optional<QString> SaveFile(const FileDialogRequest& request) override;
  std::optional<QString> BrowseFolder(const FolderDialogRequest& request) override;
  std::optional<int> AskNumber(const NumberRequest& request) override;

  const std::vector<Call>& Calls() const { return calls_; }
  // Texts of all message boxes shown so far, in order.
  QStringList MessageTexts() const;
  void Clear() {
    calls_.clear();
    answers_.clear();
    unexpected_ = 0;
  }
  // Dialogs that were opened without a queued answer of the right kind.
  int Unexpected() const { return unexpected_; }
  bool AllAnswersUsed() const { return answers_.empty(); }

 private:
  std::optional<QString> NextPath();
  std::vector<Call> calls_;
  std::deque<Answer> answers_;
  int unexpected_ = 0;
};

}  // namespace ovrel
