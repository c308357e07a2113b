#include "ui/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace ovrel {

namespace {

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Error:
      return QMessageBox::Critical;
    case MsgIcon::Warning:
      return QMessageBox::Warning;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::Ok:
      break;
  }
  return QMessageBox::Ok;
}

MsgResult FromQtButton(int button) {
  switch (button) {
    case QMessageBox::Ok:
      return MsgResult::Ok;
    case QMessageBox::Yes:
      return MsgResult::Yes;
    case QMessageBox::No:
      return MsgResult::No;
    default:
      return MsgResult::Cancel;
  }
}

QWidget* Owner(QWidget* window) {
  return window ? window : QApplication::activeWindow();
}

std::optional<QString> RunFileDialog(const FileDialogRequest& request,
                                     QFileDialog::AcceptMode mode) {
  QFileDialog dialog(Owner(request.window), request.title, request.initialDir,
                     toQtFilter(request.filter));
  dialog.setAcceptMode(mode);
  // A typed name of a file that does not exist yet is a valid answer for
  // both dialogs; the command that uses it reports a missing file.
  dialog.setFileMode(QFileDialog::AnyFile);
  // Saving replaces an existing file without a question, as every save
  // command of the program expects.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(request.defaultExt);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

}  // namespace

MsgResult QtDialogs::message(const MessageRequest& request) {
  QMessageBox box(ToQtIcon(request.icon), request.caption, request.text,
                  ToQtButtons(request.buttons), Owner(request.window));
  if (!request.detail.isEmpty()) box.setInformativeText(request.detail);
  const int button = box.exec();
  // The close box of a plain OK box answers OK.
  if (request.buttons == MsgButtons::Ok) return MsgResult::Ok;
  return FromQtButton(button);
}

std::optional<QString> QtDialogs::openFile(const FileDialogRequest& request) {
  return RunFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::saveFile(const FileDialogRequest& request) {
  return RunFileDialog(request, QFileDialog::AcceptSave);
}

std::optional<QString> QtDialogs::browseFolder(const FolderDialogRequest& request) {
  // Folders are picked from the tree only: the dialog's own widgets, so that
  // the name box can be left out.
  QFileDialog dialog(Owner(request.window), request.title, request.startDir);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  for (const char* name : {"fileNameEdit", "fileNameLabel", "fileTypeCombo", "fileTypeLabel"})
    if (QWidget* part = dialog.findChild<QWidget*>(QLatin1String(name))) part->hide();
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

}  // namespace ovrel
