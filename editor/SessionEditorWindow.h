#pragma once
// The session editor window: one session in a grid, one column per segment
// and one row per parameter. Values are stepped from the menu, the shortcut
// keys, the two repeat buttons and the keypad plus and minus keys.

#include <QLabel>
#include <QMainWindow>
#include <QTableView>
#include <QUrl>
#include <functional>

#include "ui/Dialogs.h"
#include "ui/FolderSettings.h"
#include "editor/HeldKeys.h"
#include "editor/RepeatButton.h"
#include "editor/SessionChangeCommand.h"
#include "editor/SessionGridModel.h"
#include "session/SegmentOps.h"
#include "session/SessionEditState.h"

class QAction;
class QMenu;
class QUndoStack;

namespace ovrel {
class TimelineWindow;
}

namespace ovrel {

class SessionEditorWindow : public QMainWindow {
  Q_OBJECT
 public:
  // settings: the main window's folder settings (read when needed);
  // showAbout: shows the one about box.
  SessionEditorWindow(FolderSettings& settings, Dialogs& dialogs, std::function<void()> showAbout,
                      QWidget* parent = nullptr);

  // Asked by the main window before the program ends: asks about unsaved
  // changes; false when the user chose Cancel, or chose Yes and the session
  // was not saved after all.
  bool CanCloseApplication();

  // The session, clipboard, modified flag and file name of the editor.
  SessionEditState& SesState() { return st_; }
  // Shows the whole session again after it was changed from outside the
  // grid commands, with the cursor on segment col.
  void RefreshAll(int col);
  // Sets the caption from SesName.
  void SetCaption();
  // Shows the time texts for segment n.
  void ShowSessionTimes(int n);

  // Ends the program (Exit); the application may route this through its
  // main window. Defaults to leaving the event loop.
  std::function<void()> ExitApplication;
  // Opens a document or web address with the desktop's default handler.
  std::function<void(const QUrl&)> OpenUrl;

  // Session file commands. Saving reports whether the file was written,
  // the user cancelled the file dialog, or writing failed (already shown).
  enum class SaveOutcome { Saved, Cancelled, Failed };
  void NewProc();
  void OpenSession();
  SaveOutcome Save();
  SaveOutcome SaveAsProc();
  SaveOutcome SaveProc();
  // The name Save As proposes: set after an import, which leaves the
  // session without a file; cleared when the session gets a file or is
  // made new.
  QString ProposedSaveName;
  // Reads fileName into the session; on success it becomes SesFileName and
  // names the session. A file that cannot be read is reported and leaves
  // the session, its name and the caption as they were.
  bool OpenSessionDirectly(const QString& fileName);
  // Open with a file chosen outside the window (the command line, a file
  // manager): asks about unsaved changes first, as Open does.
  void OpenSessionFile(const QString& fileName);

  // Controls.
  QTableView* segmentGrid;
  QLabel* segmentStartText;
  QLabel* sessionTotalText;
  RepeatButton* valueUpButton;
  RepeatButton* valueDownButton;

  // Menus and their items.
  QMenu* sessionMenu;
  QMenu* segmentMenu;
  QMenu* helpMenu;
  QAction *newAction, *openAction, *saveAction, *saveAsAction, *fileSeparator, *importRvxAction,
      *optimizeAction, *exportCsvAction, *exitSeparator, *exitAction;
  QAction *undoAction, *redoAction, *undoSeparator;
  QAction *cutAction, *copyAction, *pasteAction, *deleteAction, *addNewAction, *insertAction,
      *valueSeparator, *fastIncreaseAction, *increaseAction, *decreaseAction, *fastDecreaseAction;
  QAction *helpAction, *homePageAction, *downloadsAction, *extraLibrariesAction, *aboutAction;

  // Every change of the session since it was opened; its clean index is
  // the state last saved (or made new).
  QUndoStack* UndoStack() const { return undoStack_; }

  // The legacy import's and the CSV export's file dialogs.
  FileDialogRequest importDialog;
  FileDialogRequest exportDialog;

  // Addresses of the three web items.
  static const QUrl kHomePage;
  static const QUrl kDownloadsPage;
  static const QUrl kExtraLibrariesPage;

  // The timeline window (Segment menu, "Timeline", F4): made when first
  // shown, then shown and raised.
  QAction* timelineSeparator = nullptr;
  QAction* timelineAction = nullptr;
  TimelineWindow* ShowTimeline();
 signals:
  // The session changed: an edit, Undo, Redo, New, Open or an import.
  void SessionChanged();
  // The grid's cursor or selection moved.
  void SelectionChanged();

 public slots:
  void onImportRvxTriggered();
  void onExportCsvTriggered();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // The unsaved-changes question of Open; false when Open must stop.
  bool SaveBeforeOpening();
  void OpenChosenFile(const QString& chosen);
  void FormCreate();
  void BuildControls();
  void BuildMenus();
  void onGridCellSelected(int col);
  void FormKeyUp(int key);

  // The selection's first and last column and the cursor (1-based), and
  // the cursor's parameter row (1..5).
  int SelFirst() const;
  int SelLast() const;
  int CurCol() const;
  int CurRow() const;
  void MoveCursor(int col, int row);
  // Shows what a segment operation changed.
  void Apply(const SegOpResult& r);

  // Runs change as one undoable step; hold is the key or button hold it
  // belongs to (0: none). A change that leaves the session as it was adds
  // no step.
  void Record(const std::function<void()>& change, int hold = 0);
  EditorSnapshot TakeSnapshot() const;
  void RestoreSnapshot(const EditorSnapshot& snapshot);
  // Undo (or Redo): the modified flag then says whether the session differs
  // from the state last saved.
  void UndoStep(bool redo);
  // The hold of a value key or repeat button now down, or 0.
  int CurrentHold() const;
  // The session was replaced as a whole (Open, or a fresh session when the
  // window is shown): nothing before it can be undone.
  void StartHistory();

  void onOptimizeTriggered();
  void onExitTriggered();
  void ValueStep(SegOpResult (*op)(SessionEditState&, int32_t, int32_t, int));
  void ShowError(const std::string& text);

  FolderSettings& settings_;
  WindowDialogs dialogs_;
  std::function<void()> showAbout_;
  SessionEditState st_;
  SessionGridModel* model_;

  void BuildTimelineItem();
  TimelineWindow* timeline_ = nullptr;
  QUndoStack* undoStack_;
  HeldKeys* heldKeys_;
  int holdNo_ = 0;
};

}  // namespace ovrel
