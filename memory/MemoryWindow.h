#pragma once
// The memory window: the sessions that the device's memory (after a read)
// or a library file holds, with their lengths, segments, modes, frequency
// ranges and the session file each came from, the picture of the selected
// one and the memory budget. The user removes, moves, adds and extracts
// sessions; nothing is written until "Write to Sorvani" (or, for a library
// file, "Save Library...") is clicked. The image written is the one the
// compiler builds of the same sessions in the same order.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "device/jobs/JobResult.h"
#include "library/LibraryEdit.h"
#include "ui/Dialogs.h"
#include "ui/FolderSettings.h"

namespace ovrel {

class DeviceService;

inline const QString kMemoryWindowTitle = QStringLiteral("Sorvani Memory");

class MemoryWindow : public QWidget {
  Q_OBJECT
 public:
  // device: the device service that writes and reads back; showResult
  // shows how a failed job ended (the main window's message boxes).
  MemoryWindow(FolderSettings& folders, Dialogs& dialogs, DeviceService& device,
               std::function<void(const JobResult&)> showResult, QWidget* parent = nullptr);

  // Shows the sessions of a memory image just read from the device. A
  // memory that holds no library is said so and shows no sessions.
  // The image is what "Write to Sorvani" may replace: when the device holds
  // something else by then, the write writes nothing.
  void ShowDeviceMemory(const MemoryImage& image);
  // The device's memory was changed elsewhere (an upload, an add, a remote
  // request) and now holds image: shown at once, or, over changes not yet
  // written, after the user agreed to reload. what: what happened ("a
  // session was added").
  void DeviceChanged(const MemoryImage& image, const QString& what);
  // Shows the sessions of a library file; false (after saying why) when it
  // cannot be read or holds no library.
  bool OpenLibrary(const QString& path);

  const std::vector<SessionRecord>& Sessions() const { return sessions_; }
  // True while the list holds changes not yet written.
  bool Changed() const { return changed_; }
  // True from "Write to Sorvani" until the memory was read back.
  bool Writing() const { return writing_; }
  // Asks whether changes not yet written may go; false: keep them.
  bool MayDiscardChanges();
  // Asked before the program ends: the same question, but the changes stay
  // until the program has ended, as another window may still keep it
  // running. The answer holds until the list changes or EndRefused.
  bool MayEndProgram();
  void EndRefused() { endAgreed_ = false; }

 signals:
  // The device answered a write and its read-back: it is connected.
  void DeviceReached();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private slots:
  void onOpenLibraryClicked();
  void onSessionsFolderClicked();
  void onRemoveClicked();
  void onMoveUpClicked();
  void onMoveDownClicked();
  void onAddClicked();
  void onExtractClicked();
  void onWriteClicked();
  void onSaveLibraryClicked();
  void onSelectionChanged();

 private:
  void CreateControls();
  QLayout* MakeLayout();
  void ConnectControls();
  void SetSessions(std::vector<SessionRecord> sessions, bool fromDevice, const QString& source);
  // Fills the table and the budget from the sessions; selects `select`.
  void Refresh(const std::vector<int>& select = {});
  void ShowPicture();
  // Reads the session files of the folder again and names the matches.
  void RescanSessionFolder(const std::vector<int>& select);
  std::vector<int> SelectedRows() const;
  void Move(int by);
  void SetChanged(bool changed);
  // The header: where the list came from, and whether it was changed since.
  void ShowSource(const QString& source);
  // The question whether the changes not yet written may go; true: Yes.
  bool AskToDiscard();
  void UpdateButtons();
  // How the write ended.
  void Written(const JobResult& result);
  // The write found another memory than was read: says so and offers to
  // show what the device holds now.
  void ChangedSinceRead(const JobResult& result);
  // A write that failed or was not verified: says what failed, what the
  // device holds now as far as is known and where the memory it replaced
  // was kept (backup), and offers to restore that at once. result: how
  // the write ended, which tells what it may have left in the device.
  void ShowWriteFailed(const QString& what, const QString& deviceHolds, const JobResult& result);
  // Restores the backup: reads the device first, and when it holds
  // something else than the failed write could have left (another program
  // wrote meanwhile), asks before replacing that.
  void RestoreBackup(const QString& backup, const JobResult& failed);
  void RestoreOver(const QString& backup, const MemoryImage& holds);
  void Restored(const JobResult& result, const QString& name);
  // The device holds another memory than the failed write left, and the
  // user keeps it: shown as what a write would replace.
  void KeepWhatAnotherWrote(const MemoryImage& holds);
  // Whether memory is what the failed write (failed) may have left behind:
  // each byte as the memory before it or as what it wrote.
  bool LeftByFailedWrite(const MemoryImage& memory, const JobResult& failed) const;
  // Marks the list changed when it is not what the device holds.
  void CompareWithDevice();
  // Shows an image the device holds now; source: the source line.
  void ShowDeviceImage(const MemoryImage& image, const QString& source);

  FolderSettings& folders_;
  WindowDialogs dialogs_;
  DeviceService& device_;
  std::function<void(const JobResult&)> showResult_;
  std::vector<SessionRecord> sessions_;
  // The memory the device held when it was read: what a write may replace.
  std::optional<MemoryImage> readImage_;
  // The memory a write in progress replaces, as read here.
  std::optional<MemoryImage> beforeWrite_;
  std::vector<FolderSession> folderSessions_;
  QString matchFolder_;  // where the session files are looked for
  bool fromDevice_ = false;
  bool changed_ = false;
  bool endAgreed_ = false;  // the changes may go when the program ends
  bool writing_ = false;
  bool placed_ = false;  // placed on the screen at the first showing

  QLabel* sourceLabel_ = nullptr;
  QString sourceText_;  // the header without the note about changes
  QPushButton* openLibraryButton_ = nullptr;
  QPushButton* sessionsFolderButton_ = nullptr;
  QLabel* sessionsFolderLabel_ = nullptr;
  QTableWidget* sessionTable_ = nullptr;
  QPushButton* removeButton_ = nullptr;
  QPushButton* moveUpButton_ = nullptr;
  QPushButton* moveDownButton_ = nullptr;
  QPushButton* addButton_ = nullptr;
  QPushButton* extractButton_ = nullptr;
  QLabel* pictureLabel_ = nullptr;
  QProgressBar* memoryGauge_ = nullptr;
  QLabel* availableMemoryLabel_ = nullptr;
  QPushButton* writeButton_ = nullptr;
  QPushButton* saveLibraryButton_ = nullptr;
  QLabel* statusLabel_ = nullptr;
};

}  // namespace ovrel
