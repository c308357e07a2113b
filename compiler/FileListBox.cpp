#include "compiler/FileListBox.h"

#include <QDir>

namespace ovrel {

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileListBox::SetDirectory(const QString& folder) {
  directory_ = folder;
  Update();
}

void FileListBox::SetMask(const QString& mask) {
  mask_ = mask;
  Update();
}

void FileListBox::Update() {
  const QList<QListWidgetItem*> selected = selectedItems();
  const QString keep = selected.isEmpty() ? QString() : selected.front()->text();
  clear();
  // Without QDir::CaseSensitive the mask matches names in any case.
  const QDir dir(directory_, mask_, QDir::Name | QDir::IgnoreCase, QDir::Files);
  addItems(dir.entryList());
  if (keep.isEmpty()) return;
  const QList<QListWidgetItem*> again = findItems(keep, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (!again.isEmpty()) setCurrentItem(again.front());
}

std::optional<QString> FileListBox::FileName() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return QDir(directory_).filePath(selected.front()->text());
}

}  // namespace ovrel
