// The editor's menu bar and the commands behind its items.
#include <QMenuBar>

#include "editor/ImportExport.h"
#include "editor/TForm2.h"
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

void TForm2::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  File1 = bar->addMenu(QStringLiteral("&Session"));
  File1->setObjectName(QStringLiteral("File1"));
  New1 = AddItem(File1, "New1", QStringLiteral("New"));
  Open1 = AddItem(File1, "Open1", QStringLiteral("Open..."));
  Save1 = AddItem(File1, "Save1", QStringLiteral("Save"));
  SaveAs1 = AddItem(File1, "SaveAs1", QStringLiteral("Save As..."));
  N1 = AddSeparator(File1, "N1");
  ImportRVXfile1 = AddItem(File1, "ImportRVXfile1", QStringLiteral("Import RVX file..."));
  Optimize1 = AddItem(File1, "Optimize1", QStringLiteral("Optimize"));
  ExportasTXT1 = AddItem(File1, "ExportasTXT1", QStringLiteral("Export as CSV"));
  N3 = AddSeparator(File1, "N3");
  Exit1 = AddItem(File1, "Exit1", QStringLiteral("Exit"));
  // Built hidden; nothing in the program shows them.
  for (QAction* hidden : {ImportRVXfile1, Optimize1, ExportasTXT1, N3}) hidden->setVisible(false);

  Segment1 = bar->addMenu(QStringLiteral("Se&gment"));
  Segment1->setObjectName(QStringLiteral("Segment1"));
  Cut1 = AddItem(Segment1, "Cut1", QStringLiteral("Cut"), QKeySequence(Qt::CTRL | Qt::Key_X));
  Copy1 = AddItem(Segment1, "Copy1", QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
  Paste1 = AddItem(Segment1, "Paste1", QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
  Delete1 = AddItem(Segment1, "Delete1", QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete));
  Addnew1 =
      AddItem(Segment1, "Addnew1", QStringLiteral("Add new"), QKeySequence(Qt::CTRL | Qt::Key_N));
  Insert1 = AddItem(Segment1, "Insert1", QStringLiteral("Insert"),
                    QKeySequence(Qt::CTRL | Qt::Key_Insert));
  N2 = AddSeparator(Segment1, "N2");
  Value3 =
      AddItem(Segment1, "Value3", QStringLiteral("Value ++"), QKeySequence(Qt::CTRL | Qt::Key_Q));
  Value1 = AddItem(Segment1, "Value1", QStringLiteral("Value +"), QKeySequence(Qt::Key_Q));
  Value2 = AddItem(Segment1, "Value2", QStringLiteral("Value -"), QKeySequence(Qt::Key_A));
  Value4 =
      AddItem(Segment1, "Value4", QStringLiteral("Value --"), QKeySequence(Qt::CTRL | Qt::Key_A));

  Help1 = bar->addMenu(QStringLiteral("&Help"));
  Help1->setObjectName(QStringLiteral("Help1"));
  Contents1 = AddItem(Help1, "Contents1", QStringLiteral("Help"), QKeySequence(Qt::Key_F1));
  VisitSorvaniProhomepage1 =
      AddItem(Help1, "VisitSorvaniProhomepage1", QStringLiteral("Visit Sorvani Ovrel Homepage"));
  HalcyraDownloads1 = AddItem(Help1, "HalcyraDownloads1", QStringLiteral("Halcyra Downloads"));
  ExtraSessionLibraries1 =
      AddItem(Help1, "ExtraSessionLibraries1", QStringLiteral("Extra Session Libraries"));
  About1 = AddItem(Help1, "About1", QStringLiteral("About..."));

  connect(New1, &QAction::triggered, this, [this] { NewProc(); });
  connect(Open1, &QAction::triggered, this, [this] { OpenSession(); });
  connect(Save1, &QAction::triggered, this, [this] { Save(); });
  connect(SaveAs1, &QAction::triggered, this, [this] { SaveAsProc(); });
  connect(ImportRVXfile1, &QAction::triggered, this, &TForm2::ImportRVXfile1Click);
  connect(Optimize1, &QAction::triggered, this, [this] { Optimize1Click(); });
  connect(ExportasTXT1, &QAction::triggered, this, &TForm2::ExportasTXT1Click);
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

  connect(Cut1, &QAction::triggered, this,
          [this] { Apply(CutSeg(st_, SelFirst(), SelLast(), CurCol())); });
  connect(Copy1, &QAction::triggered, this, [this] { CopySeg(st_, SelFirst(), SelLast()); });
  connect(Paste1, &QAction::triggered, this, [this] { Apply(PasteSeg(st_, CurCol())); });
  connect(Delete1, &QAction::triggered, this,
          [this] { Apply(DelSeg(st_, SelFirst(), SelLast(), CurCol())); });
  connect(Addnew1, &QAction::triggered, this, [this] { Apply(AddNewSeg(st_, CurCol())); });
  connect(Insert1, &QAction::triggered, this, [this] { Apply(InsSeg(st_, CurCol())); });
  connect(Value3, &QAction::triggered, this, [this] { ValueStep(&ovrel::FastIncVal); });
  connect(Value1, &QAction::triggered, this, [this] { ValueStep(&ovrel::IncVal); });
  connect(Value2, &QAction::triggered, this, [this] { ValueStep(&ovrel::DecVal); });
  connect(Value4, &QAction::triggered, this, [this] { ValueStep(&ovrel::FastDecVal); });

  connect(Contents1, &QAction::triggered, this, [this] {
    OpenUrl(
        QUrl::fromLocalFile(settings_.ProgramFolder + QStringLiteral("/Sorvani Ovrel Help.pdf")));
  });
  connect(VisitSorvaniProhomepage1, &QAction::triggered, this, [this] { OpenUrl(kHomePage); });
  connect(HalcyraDownloads1, &QAction::triggered, this, [this] { OpenUrl(kDownloadsPage); });
  connect(ExtraSessionLibraries1, &QAction::triggered, this,
          [this] { OpenUrl(kExtraLibrariesPage); });
  connect(About1, &QAction::triggered, this, [this] {
    if (showAbout_) showAbout_();
  });
}

void TForm2::Optimize1Click() {
  const OptimizeResult r = SesOptimize(st_);
  // Each removal leaves the cursor at its place; without removals the
  // cursor stays, always on an existing column.
  const int col = r.Cursor ? *r.Cursor : std::min(CurCol(), static_cast<int>(st_.Ses.SegCount));
  RefreshAll(col);
}

void TForm2::ImportRVXfile1Click() {
  ImportRVXfile(*this, dialogs_);
}
void TForm2::ExportasTXT1Click() {
  ExportSesAsCSV(*this, dialogs_);
}

}  // namespace ovrel
