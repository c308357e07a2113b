#pragma once
// The session editor window: one session in a grid, one column per segment
// and one row per parameter. Values are stepped from the menu, the shortcut
// keys, the two repeat buttons and the keypad plus and minus keys.

#include <QLabel>
#include <QMainWindow>
#include <QTableView>
#include <QUrl>
#include <functional>
#include <vector>

#include "editor/HeldKeys.h"
#include "editor/RepeatButton.h"
#include "editor/SessionDocument.h"
#include "editor/SessionEditState.h"
#include "editor/SessionGridModel.h"
#include "format/FileFormats.h"
#include "session/SegmentOps.h"
#include "ui/Dialogs.h"
#include "ui/FolderSettings.h"
#include "ui/UserSettings.h"

class QAction;
class QMenu;

namespace ovrel {
class TimelineWindow;
}

namespace ovrel {

// The file type of the schedules Import... and Open read: one entry for all
// of them.
inline const QString kScheduleFilter = QString::fromStdString(
    CombinedDialogFilter("Beat schedule", ReadableFormats({FormatRole::Schedule})));

class SessionEditorWindow : public QMainWindow {
  Q_OBJECT
 public:
  // folders: the program's folder settings (read when needed);
  // showAbout: shows the one about box.
  SessionEditorWindow(const FolderSettings& folders, Dialogs& dialogs,
                      std::function<void()> showAbout, QWidget* parent = nullptr);

  // Asked by the main window before the program ends: asks about unsaved
  // changes; false when the user chose Cancel, or chose Yes and the session
  // was not saved after all. No leaves the session modified, as another
  // window may still keep the program running; the answer holds until the
  // session changes or CloseRefused.
  bool CanCloseApplication();
  // The program stays after all: the next close asks again.
  void CloseRefused() { discardAgreed_ = false; }

  // The session this window shows and edits.
  SessionDocument& Document() { return *document_; }
  // Shows the whole session again after it was changed from outside the
  // grid commands, with the cursor on segment col.
  void RefreshAll(int col);

  // Ends the program (Exit); the application may route this through its
  // main window. Defaults to leaving the event loop.
  std::function<void()> ExitApplication;
  // Opens a document or web address with the desktop's default handler;
  // false when the desktop has no program for it.
  std::function<bool(const QUrl&)> OpenUrl;

  // Save: to the session's file, or Save As when it has none. Reports
  // whether the file was written, the user cancelled the file dialog, or
  // writing failed (already shown).
  enum class SaveOutcome { Saved, Cancelled, Failed };
  SaveOutcome Save();
  // Open with a file chosen outside the window (the command line, a file
  // manager): asks about unsaved changes first, as Open does.
  void OpenSessionFile(const QString& fileName);

  // Addresses of the three web items.
  static const QUrl kHomePage;
  static const QUrl kDownloadsPage;
  static const QUrl kExtraLibrariesPage;

  // The timeline window (Segment menu, "Timeline", F4): made when first
  // shown, then shown and raised.
  TimelineWindow* ShowTimeline();

 signals:
  // The session changed: an edit, Undo, Redo, New, Open or an import.
  void SessionChanged();
  // The grid's cursor or selection moved.
  void SelectionChanged();

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildControls();
  void BuildGrid();
  // Typing a value into a cell, and the message beside a cell that refused one.
  void BuildCellTyping();
  void BuildTimeFields();
  void BuildValueButtons();
  void SetUpFileDialogs();
  void BuildMenus();
  void BuildSessionMenu();
  void BuildSegmentMenu();
  void BuildHelpMenu();
  void BuildTimelineItem();
  // What the menu items do.
  void ConnectSessionItems();
  void ConnectSegmentItems();
  void ConnectHelpItems();
  // Places the grid, the time fields and the buttons in the client area:
  // the grid takes the whole width, the rest keeps to the bottom right and
  // bottom left as at the window's smallest size.
  void LayOutClient();
  // The window's title marks unsaved changes.
  void ShowModified();
  // The unsaved-changes question with the session's file in its detail.
  MsgResult AskToSave(const QString& question);
  // The file was opened or saved: the newest of the recent files, and the
  // folder the next save dialog starts in.
  void RememberFile(const QString& fileName);
  // Fills the Recent Files submenu.
  void onRecentFilesAboutToShow();

  // Session file commands.
  void NewSession();
  void OpenSession();
  SaveOutcome SaveAs();
  SaveOutcome SaveToFile();
  // The unsaved-changes question of Open and New; false when the command must stop.
  bool SaveBeforeOpening();
  void OpenChosenFile(const QString& chosen);
  // Reads fileName into the session; on success it becomes the session's
  // file and names it. A file that cannot be read is reported and leaves
  // the session, its name and the caption as they were.
  bool OpenFile(const QString& fileName);

  // The legacy import: offers to save a modified session, asks for a
  // legacy file and imports it. A file that cannot be imported is reported
  // and changes nothing. After an import, and after the dialog was
  // cancelled, the session is optimised and the grid shows segment 1.
  void onImportRvxTriggered();
  // Asks for the export file (preset to the session's folder and name with
  // ".csv") and writes the session there as CSV.
  void onExportCsvTriggered();
  void onOptimizeTriggered();
  // Import...: offers to save a modified session, asks for a .sbg or
  // .gnaural schedule and imports it (ImportSchedule).
  void onImportTriggered();
  // Reads a schedule into the session as one undoable step; a file that
  // cannot be read is reported and changes nothing, and every change the
  // import made is listed in a box. A schedule whose end plays on is given
  // the length asked for first; cancelling that question imports nothing.
  void ImportSchedule(const QString& fileName);
  // How long an open end plays, in minutes: asked when the schedule at
  // fileName ends open, the default otherwise; nothing when cancelled.
  std::optional<ImportOptions> AskImportOptions(const QString& fileName);
  // Export...: asks for a .sbg or .gnaural file and writes the session there.
  void onExportTriggered();
  // "Insert Sweep...": its dialog inserts the sweep's segments before the
  // cursor as one undo step and selects them.
  void onInsertSweepTriggered();
  void InsertSweep(const std::vector<Segment>& segs);
  void onExitTriggered();
  void onGridCellSelected(int col);
  // Keypad plus and minus step a value when they are really released.
  void onValueKeyReleased(int key);

  // Shows the time texts for segment n.
  void ShowTimes(int n);
  // The selection's first and last column and the cursor (1-based), and
  // the cursor's parameter row (1..5).
  int SelFirst() const;
  int SelLast() const;
  int CurCol() const;
  int CurRow() const;
  void MoveCursor(int col, int row);
  // Shows what a segment operation changed; the session then counts as
  // modified when the operation says so.
  void Apply(const SegOpResult& r);
  // Runs change as one undoable step of the document.
  void Record(const std::function<void()>& change, int hold = 0);
  // The hold of a value key or repeat button now down, or 0.
  int CurrentHold() const;
  void ValueStep(SegOpResult (*op)(Session&, int32_t, int32_t, int));
  void ShowError(const std::string& text);
  // A value typed into segment col's parameter row: one undoable step.
  void SetTypedValue(int col, int row, int32_t value);
  void ShowCellMessage(const QModelIndex& index, const QString& why);
  SessionEditState& St() { return document_->State(); }
  const SessionEditState& St() const { return document_->State(); }

  const FolderSettings& folders_;
  UserSettings userSettings_;
  WindowDialogs dialogs_;
  std::function<void()> showAbout_;
  SessionDocument* document_;
  SessionGridModel* model_;
  TimelineWindow* timeline_ = nullptr;
  HeldKeys* heldKeys_;
  int holdNo_ = 0;
  // The user agreed to end the program without saving this state.
  bool discardAgreed_ = false;

  // The legacy import's and the CSV export's file dialogs.
  FileDialogRequest importDialog_;
  FileDialogRequest exportDialog_;
  // Import... and Export... of the schedules of other beat generators.
  FileDialogRequest scheduleImportDialog_;
  FileDialogRequest scheduleExportDialog_;

  // Controls.
  QWidget* client_;
  QTableView* segmentGrid_;
  QLabel* segmentStartText_;
  QLabel* sessionTotalText_;
  QLabel* cellMessage_ = nullptr;  // why a typed value was refused
  RepeatButton* valueUpButton_;
  RepeatButton* valueDownButton_;

  // Menus and their items.
  QMenu* sessionMenu_;
  QMenu* recentFilesMenu_;
  QMenu* segmentMenu_;
  QMenu* helpMenu_;
  QAction *newAction_, *openAction_, *saveAction_, *saveAsAction_, *fileSeparator_, *importAction_,
      *exportAction_, *importRvxAction_, *optimizeAction_, *exportCsvAction_, *exitSeparator_,
      *exitAction_;
  QAction* insertSweepAction_ = nullptr;
  QAction *undoAction_, *redoAction_, *undoSeparator_;
  QAction *cutAction_, *copyAction_, *pasteAction_, *deleteAction_, *addNewAction_, *insertAction_,
      *valueSeparator_, *fastIncreaseAction_, *increaseAction_, *decreaseAction_,
      *fastDecreaseAction_;
  QAction *helpAction_, *homePageAction_, *downloadsAction_, *extraLibrariesAction_, *aboutAction_;
  QAction* timelineSeparator_ = nullptr;
  QAction* timelineAction_ = nullptr;
};

}  // namespace ovrel
