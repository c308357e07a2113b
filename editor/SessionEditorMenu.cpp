// The editor's menu bar and the commands behind its items.
#include <QMenuBar>
#include <QUndoStack>

#include "editor/ImportExport.h"
#include "editor/SessionEditorWindow.h"
#include "session/SesOptimize.h"

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

  sessionMenu = bar->addMenu(QStringLiteral("&Session"));
  sessionMenu->setObjectName(QStringLiteral("sessionMenu"));
  newAction = AddItem(sessionMenu, "newAction", QStringLiteral("New"));
  openAction = AddItem(sessionMenu, "openAction", QStringLiteral("Open..."));
  saveAction = AddItem(sessionMenu, "saveAction", QStringLiteral("Save"));
  saveAsAction = AddItem(sessionMenu, "saveAsAction", QStringLiteral("Save As..."));
  fileSeparator = AddSeparator(sessionMenu, "fileSeparator");
  importRvxAction = AddItem(sessionMenu, "importRvxAction", QStringLiteral("Import RVX file..."));
  optimizeAction = AddItem(sessionMenu, "optimizeAction", QStringLiteral("Optimize"));
  exportCsvAction = AddItem(sessionMenu, "exportCsvAction", QStringLiteral("Export as CSV"));
  exitSeparator = AddSeparator(sessionMenu, "exitSeparator");
  exitAction = AddItem(sessionMenu, "exitAction", QStringLiteral("Exit"));
  // Built hidden; nothing in the program shows them.
  for (QAction* hidden : {importRvxAction, optimizeAction, exportCsvAction, exitSeparator})
    hidden->setVisible(false);

  segmentMenu = bar->addMenu(QStringLiteral("Se&gment"));
  segmentMenu->setObjectName(QStringLiteral("segmentMenu"));
  undoAction = AddItem(segmentMenu, "undoAction", QStringLiteral("Undo"),
                       QKeySequence(Qt::CTRL | Qt::Key_Z));
  redoAction = AddItem(segmentMenu, "redoAction", QStringLiteral("Redo"));
  redoAction->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  undoSeparator = AddSeparator(segmentMenu, "undoSeparator");
  undoAction->setEnabled(false);
  redoAction->setEnabled(false);
  connect(undoStack_, &QUndoStack::canUndoChanged, undoAction, &QAction::setEnabled);
  connect(undoStack_, &QUndoStack::canRedoChanged, redoAction, &QAction::setEnabled);
  connect(undoAction, &QAction::triggered, this, [this] { UndoStep(false); });
  connect(redoAction, &QAction::triggered, this, [this] { UndoStep(true); });
  cutAction =
      AddItem(segmentMenu, "cutAction", QStringLiteral("Cut"), QKeySequence(Qt::CTRL | Qt::Key_X));
  copyAction = AddItem(segmentMenu, "copyAction", QStringLiteral("Copy"),
                       QKeySequence(Qt::CTRL | Qt::Key_C));
  pasteAction = AddItem(segmentMenu, "pasteAction", QStringLiteral("Paste"),
                        QKeySequence(Qt::CTRL | Qt::Key_V));
  deleteAction =
      AddItem(segmentMenu, "deleteAction", QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete));
  addNewAction = AddItem(segmentMenu, "addNewAction", QStringLiteral("Add new"),
                         QKeySequence(Qt::CTRL | Qt::Key_N));
  insertAction = AddItem(segmentMenu, "insertAction", QStringLiteral("Insert"),
                         QKeySequence(Qt::CTRL | Qt::Key_Insert));
  insertSweepAction = AddItem(segmentMenu, "insertSweepAction", QStringLiteral("Insert Sweep..."));
  valueSeparator = AddSeparator(segmentMenu, "valueSeparator");
  fastIncreaseAction = AddItem(segmentMenu, "fastIncreaseAction", QStringLiteral("Value ++"),
                               QKeySequence(Qt::CTRL | Qt::Key_Q));
  increaseAction =
      AddItem(segmentMenu, "increaseAction", QStringLiteral("Value +"), QKeySequence(Qt::Key_Q));
  decreaseAction =
      AddItem(segmentMenu, "decreaseAction", QStringLiteral("Value -"), QKeySequence(Qt::Key_A));
  fastDecreaseAction = AddItem(segmentMenu, "fastDecreaseAction", QStringLiteral("Value --"),
                               QKeySequence(Qt::CTRL | Qt::Key_A));

  helpMenu = bar->addMenu(QStringLiteral("&Help"));
  helpMenu->setObjectName(QStringLiteral("helpMenu"));
  helpAction = AddItem(helpMenu, "helpAction", QStringLiteral("Help"), QKeySequence(Qt::Key_F1));
  homePageAction =
      AddItem(helpMenu, "homePageAction", QStringLiteral("Visit Sorvani Ovrel Homepage"));
  downloadsAction = AddItem(helpMenu, "downloadsAction", QStringLiteral("Halcyra Downloads"));
  extraLibrariesAction =
      AddItem(helpMenu, "extraLibrariesAction", QStringLiteral("Extra Session Libraries"));
  aboutAction = AddItem(helpMenu, "aboutAction", QStringLiteral("About..."));
  BuildTimelineItem();

  connect(newAction, &QAction::triggered, this, [this] {
    // New asks nothing, but can be taken back; the new session is the
    // state that counts as saved.
    Record([this] { NewProc(); });
    undoStack_->setClean();
  });
  connect(openAction, &QAction::triggered, this, [this] { OpenSession(); });
  connect(saveAction, &QAction::triggered, this, [this] { Save(); });
  connect(saveAsAction, &QAction::triggered, this, [this] { SaveAsProc(); });
  connect(importRvxAction, &QAction::triggered, this, &SessionEditorWindow::onImportRvxTriggered);
  connect(optimizeAction, &QAction::triggered, this, [this] { onOptimizeTriggered(); });
  connect(exportCsvAction, &QAction::triggered, this, &SessionEditorWindow::onExportCsvTriggered);
  connect(exitAction, &QAction::triggered, this, [this] { onExitTriggered(); });

  connect(cutAction, &QAction::triggered, this,
          [this] { Record([this] { Apply(CutSeg(st_, SelFirst(), SelLast(), CurCol())); }); });
  connect(copyAction, &QAction::triggered, this, [this] { CopySeg(st_, SelFirst(), SelLast()); });
  connect(pasteAction, &QAction::triggered, this,
          [this] { Record([this] { Apply(PasteSeg(st_, CurCol())); }); });
  connect(deleteAction, &QAction::triggered, this,
          [this] { Record([this] { Apply(DelSeg(st_, SelFirst(), SelLast(), CurCol())); }); });
  connect(addNewAction, &QAction::triggered, this,
          [this] { Record([this] { Apply(AddNewSeg(st_, CurCol())); }); });
  connect(insertAction, &QAction::triggered, this,
          [this] { Record([this] { Apply(InsSeg(st_, CurCol())); }); });
  connect(insertSweepAction, &QAction::triggered, this, [this] { onInsertSweepTriggered(); });
  connect(fastIncreaseAction, &QAction::triggered, this, [this] { ValueStep(&ovrel::FastIncVal); });
  connect(increaseAction, &QAction::triggered, this, [this] { ValueStep(&ovrel::IncVal); });
  connect(decreaseAction, &QAction::triggered, this, [this] { ValueStep(&ovrel::DecVal); });
  connect(fastDecreaseAction, &QAction::triggered, this, [this] { ValueStep(&ovrel::FastDecVal); });

  connect(helpAction, &QAction::triggered, this, [this] {
    OpenUrl(
        QUrl::fromLocalFile(settings_.DocumentFolder + QStringLiteral("/Sorvani Ovrel Help.pdf")));
  });
  connect(homePageAction, &QAction::triggered, this, [this] { OpenUrl(kHomePage); });
  connect(downloadsAction, &QAction::triggered, this, [this] { OpenUrl(kDownloadsPage); });
  connect(extraLibrariesAction, &QAction::triggered, this,
          [this] { OpenUrl(kExtraLibrariesPage); });
  connect(aboutAction, &QAction::triggered, this, [this] {
    if (showAbout_) showAbout_();
  });
}

void SessionEditorWindow::onOptimizeTriggered() {
  Record([this] {
    const OptimizeResult r = SesOptimize(st_);
    // Each removal leaves the cursor at its place; without removals the
    // cursor stays, always on an existing column.
    const int col =
        r.Cursor ? *r.Cursor : std::min(CurCol(), static_cast<int>(st_.Ses.SegCount));
    RefreshAll(col);
  });
}

void SessionEditorWindow::onImportRvxTriggered() {
  Record([this] { ImportRVXfile(*this, dialogs_); });
}
void SessionEditorWindow::onExportCsvTriggered() {
  ExportSesAsCSV(*this, dialogs_);
}

}  // namespace ovrel
