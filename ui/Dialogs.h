#pragma once
// The one way the windows talk to the user through modal dialogs: message
// boxes, file open and save dialogs, and the folder browser. The program uses
// QtDialogs; tests use ScriptedDialogs, which answers from a script and
// records every call with its exact texts.

#include <QString>
#include <optional>

class QWidget;

namespace ovrel {

enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// The application title, caption of every message box of the program.
inline const QString kAppTitle = QStringLiteral("Sorvani Ovrel");

struct MessageRequest {
  QString Caption = kAppTitle;
  QString Text;
  MsgIcon Icon = MsgIcon::None;
  MsgButtons Buttons = MsgButtons::Ok;
  QString Detail;             // optional extra text shown below the message
  QWidget* Window = nullptr;  // the window that asks; the box opens over it
};

struct FileDialogRequest {
  QString Title;       // empty: the platform's default title
  QString Filter;      // "Description|*.ext" pairs separated by "|"
  QString DefaultExt;  // without the dot; appended when the name has none
  QString InitialDir;
  QString FileName;
  QWidget* Window = nullptr;  // the window that asks
};

// A whole number asked for in a small dialog with a labelled spin box.
struct NumberRequest {
  QString Caption = kAppTitle;
  QString Label;  // the question, above the box
  int Value = 0;  // shown first
  int Minimum = 0;
  int Maximum = 0;
  QWidget* Window = nullptr;  // the window that asks
};

struct FolderDialogRequest {
  QString Title;
  QString StartDir;
  QWidget* Window = nullptr;  // the window that asks
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual MsgResult Message(const MessageRequest& request) = 0;
  // The chosen full path, or nothing when the user cancelled.
  virtual std::optional<QString> OpenFile(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> SaveFile(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> BrowseFolder(const FolderDialogRequest& request) = 0;
  // The number entered (within the request's range), or nothing when the
  // user cancelled.
  virtual std::optional<int> AskNumber(const NumberRequest& request) = 0;

  // Shorthand for the common message boxes.
  MsgResult ShowError(const QString& text) {
    return Message({kAppTitle, text, MsgIcon::Error, MsgButtons::Ok, {}});
  }
  MsgResult Question(const QString& text) {
    return Message({kAppTitle, text, MsgIcon::Question, MsgButtons::YesNoCancel, {}});
  }
};

// The dialogs of one window: every dialog that does not name its window
// opens over this one, also when another window is active at the time (as
// after a file dialog closes).
class WindowDialogs : public Dialogs {
 public:
  WindowDialogs(Dialogs& dialogs, QWidget* window) : dialogs_(dialogs), window_(window) {}
  MsgResult Message(const MessageRequest& request) override;
  std::optional<QString> OpenFile(const FileDialogRequest& request) override;
  std::optional<QString> SaveFile(const FileDialogRequest& request) override;
  std::optional<QString> BrowseFolder(const FolderDialogRequest& request) override;
  std::optional<int> AskNumber(const NumberRequest& request) override;

 private:
  template <typename Request>
  Request OverWindow(Request request) const {
    if (!request.Window) request.Window = window_;
    return request;
  }
  Dialogs& dialogs_;
  QWidget* window_;
};

// Turns a "Description|*.ext|Other|*.x" filter into Qt's "Description (*.ext);;Other (*.x)".
QString ToQtFilter(const QString& filter);

}  // namespace ovrel
