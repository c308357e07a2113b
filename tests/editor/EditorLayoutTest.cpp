#include <QAccessible>
#include <QHeaderView>
#include <QMenuBar>

#include "support/FindChild.h"
#include "tests/editor/EditorFixture.h"

namespace ovrel {
namespace {

TEST_F(EditorTest, ClientAreaAndControlsAtTheirPlaces) {
  EXPECT_EQ(form_->centralWidget()->size(), QSize(649, 184));
  EXPECT_EQ(form_->minimumSize(), form_->size());  // grows, never shrinks below
  EXPECT_EQ(grid()->geometry(), QRect(0, 0, 649, 137));
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->geometry(), QRect(400, 136, 249, 24));
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->geometry(), QRect(400, 160, 249, 24));
  EXPECT_EQ(Control<RepeatButton>(*form_, "valueUpButton")->geometry(), QRect(112, 148, 75, 25));
  EXPECT_EQ(Control<RepeatButton>(*form_, "valueDownButton")->geometry(), QRect(216, 148, 75, 25));
  EXPECT_EQ(Control<RepeatButton>(*form_, "valueUpButton")->text(), "Value +  Q");
  EXPECT_EQ(Control<RepeatButton>(*form_, "valueDownButton")->text(), "Value -  A");
  EXPECT_EQ(grid()->verticalHeader()->width(), 80);
  EXPECT_EQ(grid()->columnWidth(0), 60);
  EXPECT_EQ(grid()->rowHeight(0), 18);
  EXPECT_EQ(grid()->horizontalHeader()->height(), 18);
}

TEST_F(EditorTest, LongestTextsFitTheirControls) {
  auto fits = [](QWidget* w, const QString& text, int room) {
    return QFontMetrics(w->font()).horizontalAdvance(text) <= room;
  };
  EXPECT_TRUE(fits(Control<QLabel>(*form_, "segmentStartText"), "Segment 380 start time: 2937:15.0",
                   249 - 4));
  EXPECT_TRUE(
      fits(Control<QLabel>(*form_, "sessionTotalText"), "Session total time: 2945:00.0", 249 - 4));
  EXPECT_TRUE(fits(Control<RepeatButton>(*form_, "valueUpButton"), "Value +  Q", 75 - 8));
  EXPECT_TRUE(fits(grid(), "Freq Start", 80 - 6));
  EXPECT_TRUE(fits(grid(), "Seg. No.", 80 - 6));
  EXPECT_TRUE(fits(grid(), "-511", 60 - 6));  // widest values a file of bytes gives
  EXPECT_TRUE(fits(grid(), "7:45", 60 - 6));
  EXPECT_LE(QFontMetrics(grid()->font()).height(), 18);
}

TEST_F(EditorTest, GridShowsCaptionsAndSegments) {
  EXPECT_EQ(grid()->model()->headerData(0, Qt::Horizontal).toString(), "1");
  const char* captions[] = {"Time", "Mode", "Freq Start", "Freq End", "Pitch"};
  for (int r = 0; r < 5; ++r)
    EXPECT_EQ(grid()->model()->headerData(r, Qt::Vertical).toString(), captions[r]);
  EXPECT_EQ(form_->findChild<QLabel*>("SegNoCaption")->text(), "Seg. No.");
  EXPECT_EQ(cell(1, 1), "1:00");
  EXPECT_EQ(cell(1, 2), "IN");
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - []");
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->text(), "Segment 1 start time: 0:00.0");
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 1:00.0");
}

TEST_F(EditorTest, MenusAndHiddenItems) {
  QStringList menus;
  for (QAction* a : form_->menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, (QStringList{"&Session", "Se&gment", "&Help"}));
  QStringList shown;
  for (QAction* a : Control<QMenu>(*form_, "sessionMenu")->actions())
    if (a->isVisible()) shown << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(shown,
            (QStringList{"New", "Open...", "Recent Files", "Save", "Save As...", "Import...",
                         "Export...", "-", "Exit"}));
  for (const char* hidden :
       {"importRvxAction", "optimizeAction", "exportCsvAction", "exitSeparator"})
    EXPECT_FALSE(form_->findChild<QAction*>(hidden)->isVisible()) << hidden;
  // A screen reader lists what the menu shows, and nothing more.
  QAccessibleInterface* menu =
      QAccessible::queryAccessibleInterface(Control<QMenu>(*form_, "sessionMenu"));
  ASSERT_NE(menu, nullptr);
  QStringList listed;
  for (int i = 0; i < menu->childCount(); ++i) listed << menu->child(i)->text(QAccessible::Name);
  EXPECT_EQ(listed,
            (QStringList{"New", "Open...", "Recent Files", "Save", "Save As...", "Import...",
                         "Export...", "", "Exit"}));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(grid())->text(QAccessible::Name),
            "Session segments");
}

TEST_F(EditorTest, HelpWebItemsAndAbout) {
  writeFile(tmp_.path() + "/Sorvani Ovrel Help.pdf", "%PDF-1.4\n");
  Control<QAction>(*form_, "helpAction")->trigger();
  Control<QAction>(*form_, "homePageAction")->trigger();
  Control<QAction>(*form_, "downloadsAction")->trigger();
  Control<QAction>(*form_, "extraLibrariesAction")->trigger();
  ASSERT_EQ(opened_.size(), 4u);
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(tmp_.path() + "/Sorvani Ovrel Help.pdf"));
  EXPECT_EQ(opened_[1].scheme(), "https");
  EXPECT_NE(opened_[1], opened_[2]);
  EXPECT_NE(opened_[2], opened_[3]);
  Control<QAction>(*form_, "aboutAction")->trigger();
  EXPECT_EQ(aboutShown_, 1);
  EXPECT_EQ(dialogs_.Calls().size(), 0u);
}

// Without a program for the user guide or a browser, the user is told where
// the guide is or what the address is.
TEST_F(EditorTest, HelpAndWebItemsSayWhatCouldNotBeOpened) {
  const QString guide = tmp_.path() + "/Sorvani Ovrel Help.pdf";
  Control<QAction>(*form_, "helpAction")->trigger();  // the guide is missing
  writeFile(guide, "%PDF-1.4\n");
  form_->OpenUrl = [this](const QUrl& url) {
    opened_.push_back(url);
    return false;
  };
  Control<QAction>(*form_, "helpAction")->trigger();
  Control<QAction>(*form_, "downloadsAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 3u);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Text, "The user guide was not found.");
  EXPECT_EQ(dialogs_.Calls()[0].Message.Detail, guide);
  EXPECT_EQ(opened_.size(), 2u);  // the missing guide was not handed on
  EXPECT_EQ(dialogs_.Calls()[1].Message.Text,
            "This desktop has no program that opens the user guide.");
  EXPECT_TRUE(dialogs_.Calls()[1].Message.Detail.endsWith(guide));
  EXPECT_TRUE(dialogs_.Calls()[2].Message.Detail.endsWith(opened_[1].toString()))
      << dialogs_.Calls()[2].Message.Detail.toStdString();
  for (const ScriptedDialogs::Call& call : dialogs_.Calls()) EXPECT_EQ(call.Window, form_.get());
}

TEST_F(EditorTest, HiddenImportAndExportItemsRunTheirCommands) {
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "importRvxAction")->trigger();
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "exportCsvAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 2u);
  EXPECT_EQ(dialogs_.Calls()[0].File.Title, "Import RVX file");
  EXPECT_EQ(dialogs_.Calls()[0].File.InitialDir, settings_.ProgramFolder());
  EXPECT_EQ(dialogs_.Calls()[1].File.Title, "Export session as");
  EXPECT_EQ(dialogs_.Calls()[1].File.DefaultExt, "csv");
}

}  // namespace
}  // namespace ovrel
