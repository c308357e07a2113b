// The editor's menu bar and the commands behind its items.
#include <QFileInfo>
#include <QMenuBar>
#include <QUndoStack>

#include "editor/SessionEditorWindow.h"

namespace ovrel {

namespace {

QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                 const QKeySequence& shortcut = {}) {
  QAction* a = menu->addAction(caption);
  a->setObjectName(QLatin1String(name));
  a->setShortcut(shortcut);
  return a;
}

QAction* AddSeparator(QMenu* menu, const char* name) {
  QAction* a = menu->addSeparator();
  a->setObjectName(QLatin1String(name));
  return a;
}

}  // namespace

void SessionEditorWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("menuBar"));
  BuildSessionMenu();
  BuildSegmentMenu();
  BuildHelpMenu();
  BuildTimelineItem();
  ConnectSessionItems();
  ConnectSegmentItems();
  ConnectHelpItems();
}

void SessionEditorWindow::BuildSessionMenu() {
  sessionMenu_ = menuBar()->addMenu(QStringLiteral("&Session"));
  sessionMenu_->setObjectName(QStringLiteral("sessionMenu"));
  newAction_ = AddItem(sessionMenu_, "newAction", QStringLiteral("New"));
  openAction_ = AddItem(sessionMenu_, "openAction", QStringLiteral("Open..."),
                        QKeySequence(Qt::CTRL | Qt::Key_O));
  recentFilesMenu_ = sessionMenu_->addMenu(QStringLiteral("Recent Files"));
  recentFilesMenu_->setObjectName(QStringLiteral("recentFilesMenu"));
  recentFilesMenu_->menuAction()->setObjectName(QStringLiteral("recentFilesAction"));
  connect(recentFilesMenu_, &QMenu::aboutToShow, this,
          &SessionEditorWindow::onRecentFilesAboutToShow);
  saveAction_ = AddItem(sessionMenu_, "saveAction", QStringLiteral("Save"),
                        QKeySequence(Qt::CTRL | Qt::Key_S));
  saveAsAction_ = AddItem(sessionMenu_, "saveAsAction", QStringLiteral("Save As..."));
  importAction_ = AddItem(sessionMenu_, "importAction", QStringLiteral("Import..."));
  exportAction_ = AddItem(sessionMenu_, "exportAction", QStringLiteral("Export..."));
  fileSeparator_ = AddSeparator(sessionMenu_, "fileSeparator");
  importRvxAction_ = AddItem(sessionMenu_, "importRvxAction", QStringLiteral("Import RVX file..."));
  optimizeAction_ = AddItem(sessionMenu_, "optimizeAction", QStringLiteral("Optimize"));
  exportCsvAction_ = AddItem(sessionMenu_, "exportCsvAction", QStringLiteral("Export as CSV"));
  exitSeparator_ = AddSeparator(sessionMenu_, "exitSeparator");
  exitAction_ = AddItem(sessionMenu_, "exitAction", QStringLiteral("Exit"));
  // Built hidden; nothing in the program shows them. Taken out of the menu
  // too, so that screen readers do not list them; their commands stay.
  for (QAction* hidden : {importRvxAction_, optimizeAction_, exportCsvAction_, exitSeparator_}) {
    hidden->setVisible(false);
    sessionMenu_->removeAction(hidden);
  }
}

void SessionEditorWindow::BuildSegmentMenu() {
  segmentMenu_ = menuBar()->addMenu(QStringLiteral("Se&gment"));
  segmentMenu_->setObjectName(QStringLiteral("segmentMenu"));
  undoAction_ = AddItem(segmentMenu_, "undoAction", QStringLiteral("Undo"),
                        QKeySequence(Qt::CTRL | Qt::Key_Z));
  redoAction_ = AddItem(segmentMenu_, "redoAction", QStringLiteral("Redo"));
  redoAction_->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  undoSeparator_ = AddSeparator(segmentMenu_, "undoSeparator");
  undoAction_->setEnabled(false);
  redoAction_->setEnabled(false);
  QUndoStack* history = document_->UndoStack();
  connect(history, &QUndoStack::canUndoChanged, undoAction_, &QAction::setEnabled);
  connect(history, &QUndoStack::canRedoChanged, redoAction_, &QAction::setEnabled);
  connect(undoAction_, &QAction::triggered, this, [this] { document_->UndoStep(false); });
  connect(redoAction_, &QAction::triggered, this, [this] { document_->UndoStep(true); });
  cutAction_ =
      AddItem(segmentMenu_, "cutAction", QStringLiteral("Cut"), QKeySequence(Qt::CTRL | Qt::Key_X));
  copyAction_ = AddItem(segmentMenu_, "copyAction", QStringLiteral("Copy"),
                        QKeySequence(Qt::CTRL | Qt::Key_C));
  pasteAction_ = AddItem(segmentMenu_, "pasteAction", QStringLiteral("Paste"),
                         QKeySequence(Qt::CTRL | Qt::Key_V));
  deleteAction_ =
      AddItem(segmentMenu_, "deleteAction", QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete));
  addNewAction_ = AddItem(segmentMenu_, "addNewAction", QStringLiteral("Add new"),
                          QKeySequence(Qt::CTRL | Qt::Key_N));
  insertAction_ = AddItem(segmentMenu_, "insertAction", QStringLiteral("Insert"),
                          QKeySequence(Qt::CTRL | Qt::Key_Insert));
  insertSweepAction_ =
      AddItem(segmentMenu_, "insertSweepAction", QStringLiteral("Insert Sweep..."));
  valueSeparator_ = AddSeparator(segmentMenu_, "valueSeparator");
  fastIncreaseAction_ = AddItem(segmentMenu_, "fastIncreaseAction", QStringLiteral("Value ++"),
                                QKeySequence(Qt::CTRL | Qt::Key_Q));
  increaseAction_ =
      AddItem(segmentMenu_, "increaseAction", QStringLiteral("Value +"), QKeySequence(Qt::Key_Q));
  decreaseAction_ =
      AddItem(segmentMenu_, "decreaseAction", QStringLiteral("Value -"), QKeySequence(Qt::Key_A));
  fastDecreaseAction_ = AddItem(segmentMenu_, "fastDecreaseAction", QStringLiteral("Value --"),
                                QKeySequence(Qt::CTRL | Qt::Key_A));
}

void SessionEditorWindow::BuildHelpMenu() {
  helpMenu_ = menuBar()->addMenu(QStringLiteral("&Help"));
  helpMenu_->setObjectName(QStringLiteral("helpMenu"));
  helpAction_ = AddItem(helpMenu_, "helpAction", QStringLiteral("Help"), QKeySequence(Qt::Key_F1));
  homePageAction_ =
      AddItem(helpMenu_, "homePageAction", QStringLiteral("Visit Sorvani Ovrel Homepage"));
  downloadsAction_ = AddItem(helpMenu_, "downloadsAction", QStringLiteral("Halcyra Downloads"));
  extraLibrariesAction_ =
      AddItem(helpMenu_, "extraLibrariesAction", QStringLiteral("Extra Session Libraries"));
  aboutAction_ = AddItem(helpMenu_, "aboutAction", QStringLiteral("About..."));
}

void SessionEditorWindow::ConnectSessionItems() {
  connect(newAction_, &QAction::triggered, this, [this] {
    // Unsaved changes are offered for saving first, as Open does. New can
    // be taken back; the new session is the state that counts as saved.
    if (!SaveBeforeOpening()) return;
    Record([this] { NewSession(); });
    document_->MarkClean();
  });
  connect(openAction_, &QAction::triggered, this, [this] { OpenSession(); });
  connect(saveAction_, &QAction::triggered, this, [this] { Save(); });
  connect(saveAsAction_, &QAction::triggered, this, [this] { SaveAs(); });
  connect(importRvxAction_, &QAction::triggered, this, &SessionEditorWindow::onImportRvxTriggered);
  connect(importAction_, &QAction::triggered, this, [this] { onImportTriggered(); });
  connect(exportAction_, &QAction::triggered, this, [this] { onExportTriggered(); });
  connect(optimizeAction_, &QAction::triggered, this, [this] { onOptimizeTriggered(); });
  connect(exportCsvAction_, &QAction::triggered, this, &SessionEditorWindow::onExportCsvTriggered);
  connect(exitAction_, &QAction::triggered, this, [this] { onExitTriggered(); });
}

void SessionEditorWindow::ConnectSegmentItems() {
  connect(cutAction_, &QAction::triggered, this, [this] {
    Record([this] { Apply(CutSeg(St().Ses, St().Clipboard, SelFirst(), SelLast(), CurCol())); });
  });
  connect(copyAction_, &QAction::triggered, this,
          [this] { CopySeg(St().Ses, St().Clipboard, SelFirst(), SelLast()); });
  connect(pasteAction_, &QAction::triggered, this,
          [this] { Record([this] { Apply(PasteSeg(St().Ses, St().Clipboard, CurCol())); }); });
  connect(deleteAction_, &QAction::triggered, this,
          [this] { Record([this] { Apply(DelSeg(St().Ses, SelFirst(), SelLast(), CurCol())); }); });
  connect(addNewAction_, &QAction::triggered, this,
          [this] { Record([this] { Apply(AddNewSeg(St().Ses, CurCol())); }); });
  connect(insertAction_, &QAction::triggered, this,
          [this] { Record([this] { Apply(InsSeg(St().Ses, CurCol())); }); });
  connect(insertSweepAction_, &QAction::triggered, this, [this] { onInsertSweepTriggered(); });
  connect(fastIncreaseAction_, &QAction::triggered, this,
          [this] { ValueStep(&ovrel::FastIncVal); });
  connect(increaseAction_, &QAction::triggered, this, [this] { ValueStep(&ovrel::IncVal); });
  connect(decreaseAction_, &QAction::triggered, this, [this] { ValueStep(&ovrel::DecVal); });
  connect(fastDecreaseAction_, &QAction::triggered, this,
          [this] { ValueStep(&ovrel::FastDecVal); });
}

void SessionEditorWindow::ConnectHelpItems() {
  connect(helpAction_, &QAction::triggered, this, [this] {
    const QString guide = folders_.DocumentFolder() + QStringLiteral("/Sorvani Ovrel Help.pdf");
    // The desktop's opener starts for a missing file too, and then fails unseen.
    if (!QFileInfo(guide).isFile()) {
      dialogs_.Message({kAppTitle, QStringLiteral("The user guide was not found."),
                        MsgIcon::Error, MsgButtons::Ok, guide});
      return;
    }
    if (!OpenUrl(QUrl::fromLocalFile(guide))) {
      dialogs_.Message({kAppTitle,
                        QStringLiteral("This desktop has no program that opens the user guide."),
                        MsgIcon::Error, MsgButtons::Ok,
                        QStringLiteral("The user guide is the file %1").arg(guide)});
    }
  });
  const auto openPage = [this](const QUrl& page) {
    if (OpenUrl(page)) return;
    dialogs_.Message({kAppTitle, QStringLiteral("This desktop has no web browser that opens the page."),
                      MsgIcon::Error, MsgButtons::Ok,
                      QStringLiteral("Its address is %1").arg(page.toString())});
  };
  connect(homePageAction_, &QAction::triggered, this, [openPage] { openPage(kHomePage); });
  connect(downloadsAction_, &QAction::triggered, this, [openPage] { openPage(kDownloadsPage); });
  connect(extraLibrariesAction_, &QAction::triggered, this,
          [openPage] { openPage(kExtraLibrariesPage); });
  connect(aboutAction_, &QAction::triggered, this, [this] {
    if (showAbout_) showAbout_();
  });
}

void SessionEditorWindow::onOptimizeTriggered() {
  Record([this] {
    const OptimizeResult r = document_->Optimize();
    // Each removal leaves the cursor at its place; without removals the
    // cursor stays, always on an existing column.
    const int col = r.Cursor ? *r.Cursor : std::min(CurCol(), static_cast<int>(St().Ses.SegCount));
    RefreshAll(col);
  });
}

}  // namespace ovrel
