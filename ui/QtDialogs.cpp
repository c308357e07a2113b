#include "ui/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
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
  QFileDialog dialog(Owner(request.Window), request.Title, request.InitialDir,
                     ToQtFilter(request.Filter));
  dialog.setAcceptMode(mode);
  // A typed name of a file that does not exist yet is a valid answer for
  // both dialogs; the command that uses it reports a missing file.
  dialog.setFileMode(QFileDialog::AnyFile);
  // A save dialog asks before it replaces an existing file.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setDefaultSuffix(request.DefaultExt);
  if (!request.FileName.isEmpty()) dialog.selectFile(request.FileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

}  // namespace

MsgResult QtDialogs::Message(const MessageRequest& request) {
  QMessageBox box(ToQtIcon(request.Icon), request.Caption, request.Text,
                  ToQtButtons(request.Buttons), Owner(request.Window));
  if (!request.Detail.isEmpty()) box.setInformativeText(request.Detail);
  const int button = box.exec();
  // The close box of a plain OK box answers OK.
  if (request.Buttons == MsgButtons::Ok) return MsgResult::Ok;
  return FromQtButton(button);
}

std::optional<QString> QtDialogs::OpenFile(const FileDialogRequest& request) {
  return RunFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::SaveFile(const FileDialogRequest& request) {
  return RunFileDialog(request, QFileDialog::AcceptSave);
}

std::optional<QString> QtDialogs::BrowseFolder(const FolderDialogRequest& request) {
  // Folders are picked from the tree only: the dialog's own widgets, so that
  // the name box can be left out.
  QFileDialog dialog(Owner(request.Window), request.Title, request.StartDir);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  for (const char* name : {"fileNameEdit", "fileNameLabel", "fileTypeCombo", "fileTypeLabel"})
    if (QWidget* part = dialog.findChild<QWidget*>(QLatin1String(name))) part->hide();
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

std::optional<int> QtDialogs::AskNumber(const NumberRequest& request) {
  QInputDialog dialog(Owner(request.Window));
  dialog.setWindowTitle(request.Caption);
  dialog.setLabelText(request.Label);
  dialog.setInputMode(QInputDialog::IntInput);
  dialog.setIntRange(request.Minimum, request.Maximum);
  dialog.setIntValue(request.Value);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.intValue();
}

}  // namespace ovrel
