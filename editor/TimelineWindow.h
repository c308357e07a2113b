#pragma once
// The timeline window beside the session editor: the session's picture,
// which follows every change and the selection of the editor's grid, the
// session's totals, a button that fits the whole session and one that
// saves the picture as PNG or SVG. A click on a segment selects it in the
// grid; Shift+click extends the selection to it. A zoomed picture scrolls
// with the scroll bar below it or by dragging. Play, Pause and Stop and a
// volume slider play the session's sound from the grid's current segment;
// while it plays a playhead moves over the picture and the grid's cursor
// follows the segment being heard. Space plays and pauses when the picture
// has the focus.

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <functional>

#include "editor/OnDemandPlayer.h"

#include "editor/TimelineView.h"
#include "ui/Dialogs.h"
#include "ui/FolderSettings.h"
#include "ui/UserSettings.h"

namespace ovrel {

class TimelineWindow : public QWidget {
  Q_OBJECT
 public:
  // ses and grid are the editor's; they outlive this window.
  TimelineWindow(const Session& ses, QTableView* grid, Dialogs& dialogs,
                 const FolderSettings& folders, QWidget* parent = nullptr);

  // The session's name, which the picture's file is named after.
  std::function<QString()> SessionName;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  // Shows the session as it is now.
  void RefreshSession();
  // Shows the grid's selection as it is now.
  void RefreshSelection();
  // Asks for a file name and writes the picture as shown, in light colours.
  void onSavePictureClicked();
  void onSegmentClicked(int seg, bool extend);
  // The scroll bar shows the visible span within the session.
  void SyncScrollBar();
  // On first showing: beside the editor on its screen, not over it.
  void PlaceBesideEditor();

  // The player's controls, in the row given (TimelineWindowPlayer.cpp).
  void BuildPlayerControls(QHBoxLayout* row);
  // Play from the current segment, pause, or go on after a pause.
  void onPlayClicked();
  // Shows the player's state: the buttons, the playhead, its line of text.
  void RefreshPlayer();
  // Moves the playhead and the grid's cursor to what is being heard.
  void FollowPlayer();

  const Session& ses_;
  QTableView* grid_;
  WindowDialogs dialogs_;  // its dialogs open over this window, not the editor
  const FolderSettings& folders_;
  UserSettings userSettings_;
  TimelineView* timelineView_;
  QScrollBar* timelineScrollBar_;
  QPushButton* fitButton_;
  QPushButton* savePictureButton_;
  QLabel* totalsText_;
  QLabel* modeSharesText_;
  OnDemandPlayer* player_;
  QPushButton* playButton_;
  QPushButton* stopButton_;
  QComboBox* beatCombo_;
  QSlider* volumeSlider_;
  QLabel* playerStatusText_;
  QTimer* playheadTimer_;
  int heardSegment_ = 0;  // the segment the grid's cursor was last moved to
  int anchor_ = 0;          // the segment a Shift+click extends from
  bool selecting_ = false;  // a click here is moving the grid's cursor
  bool placed_ = false;     // placed beside the editor once
};

}  // namespace ovrel
