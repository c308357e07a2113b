// The editor's "Timeline" item (F4) at the end of the Segment menu and the
// timeline window it opens.
#include <QMenu>

#include "editor/SessionEditorWindow.h"
#include "editor/TimelineWindow.h"

namespace ovrel {

void SessionEditorWindow::BuildTimelineItem() {
  timelineSeparator_ = segmentMenu_->addSeparator();
  timelineSeparator_->setObjectName(QStringLiteral("timelineSeparator"));
  timelineAction_ = segmentMenu_->addAction(QStringLiteral("Timeline"));
  timelineAction_->setObjectName(QStringLiteral("timelineAction"));
  timelineAction_->setShortcut(QKeySequence(Qt::Key_F4));
  connect(timelineAction_, &QAction::triggered, this, [this] { ShowTimeline(); });
}

TimelineWindow* SessionEditorWindow::ShowTimeline() {
  // Made on first use; a child of the editor, so it closes with it.
  if (!timeline_) {
    timeline_ = new TimelineWindow(St().Ses, segmentGrid_, dialogs_, folders_, this);
    timeline_->SessionName = [this] { return QString::fromStdString(St().SesName); };
  }
  timeline_->show();
  timeline_->raise();
  timeline_->activateWindow();
  return timeline_;
}

}  // namespace ovrel
