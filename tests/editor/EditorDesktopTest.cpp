// The editor's desktop habits: the modified marker in its title, the file
// named in the save question, Recent Files, what it remembers in the next
// window, growing wider, and the keyboard focus on the grid.

#include <QMenu>

#include "format/SessionFile.h"
#include "support/FindChild.h"
#include "tests/editor/EditorFixture.h"

namespace ovrel {
namespace {

void WriteSession(const QString& path, int segments) {
  Session ses;
  ses.SegCount = segments;
  for (int k = 1; k <= segments; ++k) ses[k].Pitch = 100 + k;
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray::fromStdString(SessionFileText(ses)));
}

// The files the Recent Files submenu lists, as it would show them now.
QStringList RecentItems(SessionEditorWindow& form) {
  QMenu* menu = Control<QMenu>(form, "recentFilesMenu");
  emit menu->aboutToShow();
  QStringList files;
  for (QAction* a : menu->actions())
    if (a->isEnabled()) files << a->data().toString();
  return files;
}

TEST_F(EditorTest, TitleMarksUnsavedChangesAndTheQuestionNamesTheFile) {
  const QString plain = "Sorvani Ovrelware 1.5 - Session Editor - []";
  EXPECT_EQ(ShownTitle(*form_), plain);
  key(Qt::Key_Q);
  EXPECT_EQ(ShownTitle(*form_), plain + "*");
  EXPECT_EQ(form_->Document().Caption(), plain);  // the caption itself stays

  // Ctrl+S saves (Save As, the session has no file yet); the marker goes.
  dialogs_.AnswerPath(path("Calm.svs"));
  key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - [Calm]");
  EXPECT_TRUE(QFile::exists(path("Calm.svs")));

  // The marker follows what the save questions go by, also after a command
  // that counts as a change without changing a value (Paste of nothing).
  Control<QAction>(*form_, "pasteAction")->trigger();
  ASSERT_TRUE(st().SesModified);
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - [Calm]*");

  // The question that Open (Ctrl+O) asks keeps its text and names the file
  // below it.
  dialogs_.Clear();
  dialogs_.AnswerButton(MsgResult::Cancel);
  key(Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Text, "Session has been modified. Save it?");
  EXPECT_EQ(dialogs_.Calls()[0].Message.Detail, QDir::toNativeSeparators(path("Calm.svs")));
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - [Calm]*");
}

TEST_F(EditorTest, RecentFilesListTheNewestEightThatStillExist) {
  for (int i = 1; i <= 10; ++i) {
    WriteSession(path(QStringLiteral("s%1.svs").arg(i)), i);
    form_->OpenSessionFile(path(QStringLiteral("s%1.svs").arg(i)));
  }
  // Opened again, and more often than the list keeps files: newest, listed
  // once, and the older files stay.
  for (int i = 0; i < 20; ++i) form_->OpenSessionFile(path("s4.svs"));
  ASSERT_TRUE(QFile::remove(path("s9.svs")));
  const QStringList want = {path("s4.svs"), path("s10.svs"), path("s8.svs"), path("s7.svs"),
                            path("s6.svs"), path("s5.svs"),  path("s3.svs"), path("s2.svs")};
  EXPECT_EQ(RecentItems(*form_), want);

  // A new window (the next run) lists the same; an item opens its file.
  form_.reset();
  form_ = std::make_unique<SessionEditorWindow>(settings_, dialogs_, [] {});
  ShowForm();
  EXPECT_EQ(RecentItems(*form_), want);
  Control<QMenu>(*form_, "recentFilesMenu")->actions()[2]->trigger();
  EXPECT_EQ(QString::fromStdString(st().SesFileName), path("s8.svs"));
  EXPECT_EQ(st().Ses.SegCount, 8);
  EXPECT_EQ(RecentItems(*form_).front(), path("s8.svs"));
  EXPECT_EQ(dialogs_.Unexpected(), 0);
}

TEST_F(EditorTest, SaveAsStartsInTheLastFolderUsedButNeverInAHiddenOne) {
  QDir(tmp_.path()).mkpath("Elsewhere");
  QDir(tmp_.path()).mkpath(".hidden");
  const QString elsewhere = tmp_.path() + "/Elsewhere";
  WriteSession(elsewhere + "/Walk.svs", 2);
  WriteSession(tmp_.path() + "/.hidden/Tucked.svs", 2);

  form_->OpenSessionFile(elsewhere + "/Walk.svs");
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "saveAsAction")->trigger();
  EXPECT_EQ(dialogs_.Calls().back().File.InitialDir, elsewhere);
  EXPECT_EQ(dialogs_.Calls().back().File.FileName, "Walk.svs");

  form_->OpenSessionFile(tmp_.path() + "/.hidden/Tucked.svs");
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "saveAsAction")->trigger();
  EXPECT_EQ(dialogs_.Calls().back().File.InitialDir, settings_.SessionsFolder());
}

TEST_F(EditorTest, AWiderEditorShowsMoreSegmentsAndKeepsItsControlsInReach) {
  makeSession(40);
  auto visibleColumns = [this] {
    return grid()->columnAt(grid()->viewport()->width() - 1) - grid()->columnAt(0) + 1;
  };
  const int before = visibleColumns();
  const QSize smallest = form_->size();
  form_->resize(smallest.width() + 300, smallest.height() + 100);
  QTest::qWait(10);
  EXPECT_EQ(form_->height(), smallest.height());  // the five rows need no more height
  EXPECT_EQ(visibleColumns(), before + 5);        // 300 pixels of 60-pixel columns
  const QRect client = form_->centralWidget()->rect();
  EXPECT_EQ(grid()->width(), client.width());
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->geometry().bottomRight(),
            client.bottomRight());
  form_->resize(100, 100);  // never smaller than the laid-out size
  EXPECT_EQ(form_->size(), smallest);

  // The next window opens as wide as this one was left (within the screen).
  form_->resize(smallest.width() + 100, smallest.height());
  form_->close();
  form_ = std::make_unique<SessionEditorWindow>(settings_, dialogs_, [] {});
  EXPECT_EQ(form_->width(), smallest.width() + 100);
}

TEST_F(EditorTest, OpenAndNewPutTheKeyboardOnTheGrid) {
  WriteSession(path("Four.svs"), 4);
  grid()->clearFocus();
  dialogs_.AnswerPath(path("Four.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_TRUE(grid()->hasFocus());
  key(Qt::Key_Right);  // the arrows work at once
  EXPECT_EQ(grid()->currentIndex().column(), 1);

  grid()->clearFocus();
  Control<QAction>(*form_, "newAction")->trigger();
  EXPECT_TRUE(grid()->hasFocus());
}

}  // namespace
}  // namespace ovrel
