#pragma once
// The one way the windows talk to the user through modal dialogs: message
// boxes, file open and save dialogs, and the folder browser. The program uses
// QtDialogs; tests use ScriptedDialogs, which answers from a script and
// records every call with its exact texts.

#include <QString>
#include <optional>

namespace ovrel {

enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// The application title, caption of every message box of the program.
inline const QString kAppTitle = QStringLiteral("Sorvani Ovrel");

struct MessageRequest {
  QString caption = kAppTitle;
  QString text;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
  QString detail;  // optional extra text shown below the message
};

struct FileDialogRequest {
  QString title;       // empty: the platform's default title
  QString filter;      // "Description|*.ext" pairs separated by "|"
  QString defaultExt;  // without the dot; appended when the name has none
  QString initialDir;
  QString fileName;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual MsgResult message(const MessageRequest& request) = 0;
  // The chosen full path, or nothing when the user cancelled.
  virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> browseFolder(const QString& title, const QString& startDir) = 0;

  // Shorthand for the common message boxes.
  MsgResult error(const QString& text) {
    return message({kAppTitle, text, MsgIcon::Error, MsgButtons::Ok, {}});
  }
  MsgResult question(const QString& text) {
    return message({kAppTitle, text, MsgIcon::Question, MsgButtons::YesNoCancel, {}});
  }
};

// Turns a "Description|*.ext|Other|*.x" filter into Qt's "Description (*.ext);;Other (*.x)".
QString toQtFilter(const QString& filter);

}  // namespace ovrel
