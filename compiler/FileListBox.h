#pragma once
// A list of the files of one folder whose names match a mask, as names
// without folder, sorted by name. It reads the folder when told to.

#include <QListWidget>
#include <optional>

namespace ovrel {

class FileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit FileListBox(QWidget* parent = nullptr);

  // The folder shown; setting it reads the folder.
  void SetDirectory(const QString& folder);
  const QString& Directory() const { return directory_; }
  // A wildcard pattern such as "*.svs"; case is ignored.
  void SetMask(const QString& mask);
  // Reads the folder again, keeping the selected name when it is still there.
  void Update();
  // Full path of the selected file, or nothing when no file is selected.
  std::optional<QString> FileName() const;

 private:
  QString directory_;
  QString mask_ = QStringLiteral("*.*");
};

}  // namespace ovrel
