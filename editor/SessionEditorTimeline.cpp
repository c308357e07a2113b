// The editor's "Timeline" item (F4) at the end of the Segment menu and the
// timeline window it opens.
#include <QMenu>

#include "editor/SessionEditorWindow.h"
#include "editor/TimelineWindow.h"

namespace ovrel {

void SessionEditorWindow::BuildTimelineItem() {
  timelineSeparator = segmentMenu->addSeparator();
  timelineSeparator->setObjectName(QStringLiteral("timelineSeparator"));
  timelineAction = segmentMenu->addAction(QStringLiteral("Timeline"));
  timelineAction->setObjectName(QStringLiteral("timelineAction"));
  timelineAction->setShortcut(QKeySequence(Qt::Key_F4));
  connect(timelineAction, &QAction::triggered, this, [this] { ShowTimeline(); });
}

TimelineWindow* SessionEditorWindow::ShowTimeline() {
  // Made on first use; a child of the editor, so it closes with it.
  if (!timeline_) timeline_ = new TimelineWindow(st_.Ses, segmentGrid, dialogs_, settings_, this);
  timeline_->show();
  timeline_->raise();
  timeline_->activateWindow();
  return timeline_;
}

}  // namespace ovrel
