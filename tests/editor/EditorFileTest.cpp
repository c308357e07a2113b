#include <sys/stat.h>
#include <unistd.h>

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "format/SessionFile.h"
#include "support/FindChild.h"
#include "tests/editor/EditorFixture.h"
#include "ui/QtDialogs.h"

namespace ovrel {
namespace {

const QString kModifiedOpen = "Session has been modified. Save it?";
const QString kModifiedExit = "Session has been modified. Save it before exit?";

QByteArray SessionBytes(int segments, int pitch) {
  Session ses;
  ses.SegCount = segments;
  for (int k = 1; k <= segments; ++k) ses[k].Pitch = pitch;
  return QByteArray::fromStdString(SessionFileText(ses));
}

TEST_F(EditorTest, SaveOfANamelessSessionRunsSaveAs) {
  makeSession(2);
  st().SesModified = true;
  dialogs_.AnswerPath(path("First.svs"));
  Control<QAction>(*form_, "saveAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  const FileDialogRequest& req = dialogs_.Calls()[0].File;
  EXPECT_EQ(dialogs_.Calls()[0].Dialog, ScriptedDialogs::Kind::SaveFile);
  EXPECT_EQ(req.Title, "Save session as");
  EXPECT_EQ(req.Filter, "Sorvani Pro session (*.svs)|*.svs");
  EXPECT_EQ(req.DefaultExt, "svs");
  EXPECT_EQ(req.InitialDir, settings_.SessionsFolder());
  EXPECT_EQ(req.FileName, "");
  EXPECT_FALSE(st().SesModified);
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - [First]");
  QFile f(path("First.svs"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll().toStdString(), SessionFileText(st().Ses));

  // With a name, Save asks nothing.
  key(Qt::Key_Q);
  Control<QAction>(*form_, "saveAction")->trigger();
  EXPECT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_FALSE(st().SesModified);
}

// Save As and the CSV export through the real file dialog: naming a file
// that exists brings the question whether to replace it, and No keeps it.
TEST_F(EditorTest, SaveDialogsAskBeforeReplacingAFile) {
  QtDialogs qtDialogs;
  SessionEditorWindow window(settings_, qtDialogs, [] {});
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.Document().State().SesModified = true;
  for (const char* action : {"saveAsAction", "exportCsvAction"}) {
    SCOPED_TRACE(action);
    const QString stored = path("Stored.svs");
    writeFile(stored, "the stored session");
    QStringList questions;
    bool dialogSeen = false;
    // The dialog names the stored file and accepts; the question that comes
    // is answered No, and the dialog then cancelled.
    QTimer::singleShot(0, &window, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialogSeen = true;
      dialog->setDefaultSuffix({});
      dialog->selectFile(stored);
      QTimer::singleShot(0, &window, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          questions << box->text();
          box->button(QMessageBox::No)->click();
        }
        QTimer::singleShot(0, &window, [] {
          if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) d->reject();
        });
      });
      QMetaObject::invokeMethod(dialog, "accept");
    });
    // Whatever stays open is closed, so that the test fails instead of waiting.
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    watchdog.start(5000);
    Control<QAction>(window, action)->trigger();
    watchdog.stop();
    ASSERT_TRUE(dialogSeen);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains("already exists")) << questions[0].toStdString();
    QFile f(stored);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "the stored session");
  }
  EXPECT_TRUE(window.Document().Modified());
}

TEST_F(EditorTest, CancelledSaveAsChangesNothing) {
  key(Qt::Key_Q);
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "saveAction")->trigger();
  EXPECT_EQ(st().SesFileName, "");
  EXPECT_TRUE(st().SesModified);
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - []*");
}

TEST_F(EditorTest, FailedSaveIsReportedAndKeepsModified) {
  key(Qt::Key_Q);
  const QString missing = tmp_.path() + "/nofolder/x.svs";
  dialogs_.AnswerPath(missing);
  Control<QAction>(*form_, "saveAsAction")->trigger();
  EXPECT_TRUE(st().SesModified);
  EXPECT_EQ(lastMessage(), "Cannot write " + missing + ": No such file or directory.");
}

TEST_F(EditorTest, OpenAcceptsCapitalExtensionAndShowsTheFile) {
  writeFile(path("RELAX.SVS"), SessionBytes(3, 300));
  clickCell(1, RowMode);
  dialogs_.AnswerPath(path("RELAX.SVS"));
  Control<QAction>(*form_, "openAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].File.Filter,
            "Sorvani Pro session (*.svs)|*.svs|Beat schedule (*.sbg *.gnaural)|*.sbg *.gnaural");
  EXPECT_EQ(dialogs_.Calls()[0].File.InitialDir, settings_.SessionsFolder());
  EXPECT_EQ(st().Ses.SegCount, 3);
  EXPECT_EQ(cell(3, RowPitch), "300");
  EXPECT_EQ(grid()->model()->columnCount(), 3);
  EXPECT_EQ(grid()->currentIndex().column(), 0);
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - [RELAX]");
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 3:00.0");
  EXPECT_FALSE(st().SesModified);
}

TEST_F(EditorTest, OpenRefusesOtherExtensionsAndMalformedFiles) {
  writeFile(path("a.txt"), SessionBytes(2, 200));
  writeFile(path("bad.svs"), "version=23\r\n#\r\n1,0,\r\n36,10,\r\n0,\r\n");
  makeSession(2);
  dialogs_.AnswerPath(path("a.txt"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_EQ(lastMessage(), "Unsupported session file format");
  EXPECT_EQ(dialogs_.Calls().back().Message.Icon, MsgIcon::Error);

  dialogs_.AnswerPath(path("bad.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_EQ(lastMessage(),
            path("bad.svs") +
                ", line 4: the segment line has 2 comma-terminated numbers where five are needed.");
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 102}));
  EXPECT_EQ(st().SesFileName, "");
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - []");
  // The refusals come after the file dialog has closed; they open over the
  // editor all the same, as the file dialog did.
  for (const ScriptedDialogs::Call& call : dialogs_.Calls()) EXPECT_EQ(call.Window, form_.get());
}

// Files that cannot be read end the Open command with a message; the
// session being edited stays as it was.
TEST_F(EditorTest, OpenOfAnUnreadableFileKeepsTheSession) {
  ASSERT_EQ(::symlink("/proc/self/mem", QFile::encodeName(path("mem.svs")).constData()), 0);  // reads fail with EIO
  ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.svs")).constData(), 0600), 0);  // opening it would wait for ever
  makeSession(2);
  dialogs_.AnswerPath(path("mem.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_EQ(lastMessage(), "Cannot read " + path("mem.svs") + ": Input/output error.");
  dialogs_.AnswerPath(path("pipe.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_EQ(lastMessage(),
            "Cannot read " + path("pipe.svs") + ": it is a pipe (FIFO), not a regular file.");
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 102}));
  EXPECT_EQ(st().SesFileName, "");
}

TEST_F(EditorTest, OpenWithUnsavedChangesAsks) {
  writeFile(path("b.svs"), SessionBytes(2, 222));
  // Cancel: nothing else happens.
  key(Qt::Key_Q);
  dialogs_.AnswerButton(MsgResult::Cancel);
  Control<QAction>(*form_, "openAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Text, kModifiedOpen);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Icon, MsgIcon::Question);

  // No: opens without saving; the session stays marked modified.
  dialogs_.Clear();
  dialogs_.AnswerButton(MsgResult::No);
  dialogs_.AnswerPath(path("b.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_EQ(st().Ses[2].Pitch, 222);
  EXPECT_TRUE(st().SesModified);

  // Yes with a name saves first.
  dialogs_.Clear();
  st().Ses[1].Pitch = 333;
  dialogs_.AnswerButton(MsgResult::Yes);
  dialogs_.AnswerPath(path("b.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_EQ(dialogs_.Calls().size(), 2u);
  EXPECT_EQ(st().Ses[1].Pitch, 333);  // read back what was just saved
  EXPECT_FALSE(st().SesModified);

  // Yes without a name and a cancelled Save As: the open goes on.
  Control<QAction>(*form_, "newAction")->trigger();
  key(Qt::Key_Q);
  dialogs_.Clear();
  dialogs_.AnswerButton(MsgResult::Yes);
  dialogs_.AnswerCancel();
  dialogs_.AnswerPath(path("b.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_EQ(dialogs_.Calls().size(), 3u);
  EXPECT_EQ(st().SesFileName, path("b.svs").toStdString());
  EXPECT_TRUE(st().SesModified);
  EXPECT_TRUE(dialogs_.AllAnswersUsed());
}

TEST_F(EditorTest, NewWithUnsavedChangesAsksAsOpenDoes) {
  makeSession(3);
  key(Qt::Key_Q);
  const std::vector<int32_t> edited = Pitches();
  // Cancel keeps the session as it is.
  dialogs_.AnswerButton(MsgResult::Cancel);
  Control<QAction>(*form_, "newAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Text, kModifiedOpen);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(dialogs_.Calls()[0].Message.Icon, MsgIcon::Question);
  EXPECT_EQ(Pitches(), edited);
  EXPECT_TRUE(st().SesModified);

  // Yes saves the session, then starts a new one.
  dialogs_.Clear();
  dialogs_.AnswerButton(MsgResult::Yes);
  dialogs_.AnswerPath(path("Kept.svs"));
  Control<QAction>(*form_, "newAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_FALSE(st().SesModified);
  ASSERT_TRUE(QFile::exists(path("Kept.svs")));
  form_->OpenSessionFile(path("Kept.svs"));
  EXPECT_EQ(Pitches(), edited);

  // No discards the changes; without changes New asks nothing.
  key(Qt::Key_Q);
  dialogs_.Clear();
  dialogs_.AnswerButton(MsgResult::No);
  Control<QAction>(*form_, "newAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_FALSE(st().SesModified);
  Control<QAction>(*form_, "newAction")->trigger();
  EXPECT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_TRUE(dialogs_.AllAnswersUsed());
}

TEST_F(EditorTest, ClosingWithUnsavedChangesAsks) {
  key(Qt::Key_Q);
  dialogs_.AnswerButton(MsgResult::Cancel);
  EXPECT_FALSE(form_->close());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(lastMessage(), kModifiedExit);

  // Yes with a cancelled Save As still closes; the session stays modified.
  dialogs_.AnswerButton(MsgResult::Yes);
  dialogs_.AnswerCancel();
  EXPECT_TRUE(form_->close());
  EXPECT_TRUE(st().SesModified);

  // Shown again, the modified session is kept as it was.
  ShowForm();
  EXPECT_EQ(st().Ses[1].Time, 5);

  dialogs_.AnswerButton(MsgResult::No);
  EXPECT_TRUE(form_->close());
  EXPECT_FALSE(st().SesModified);
  EXPECT_EQ(dialogs_.MessageTexts().size(), 3);
}

TEST_F(EditorTest, ReopeningWithoutChangesGivesANewSession) {
  writeFile(path("c.svs"), SessionBytes(4, 150));
  dialogs_.AnswerPath(path("c.svs"));
  Control<QAction>(*form_, "openAction")->trigger();
  EXPECT_TRUE(form_->close());
  EXPECT_EQ(dialogs_.MessageTexts().size(), 0);
  ShowForm();
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_EQ(st().Ses[1], Segment{});
  EXPECT_EQ(st().SesFileName, "");
  EXPECT_EQ(ShownTitle(*form_), "Sorvani Ovrelware 1.5 - Session Editor - []");
  EXPECT_EQ(grid()->model()->columnCount(), 1);
}

TEST_F(EditorTest, ExitAndApplicationCloseAskAboutUnsavedChanges) {
  Control<QAction>(*form_, "exitAction")->trigger();
  EXPECT_EQ(exits_, 1);  // nothing to save: no question
  EXPECT_EQ(dialogs_.Calls().size(), 0u);

  key(Qt::Key_Q);
  dialogs_.AnswerButton(MsgResult::Cancel);
  Control<QAction>(*form_, "exitAction")->trigger();
  EXPECT_EQ(exits_, 1);
  EXPECT_EQ(lastMessage(), kModifiedExit);

  // Yes but the save dialog cancelled: the program keeps running.
  dialogs_.AnswerButton(MsgResult::Yes);
  dialogs_.AnswerCancel();
  EXPECT_FALSE(form_->CanCloseApplication());
  EXPECT_TRUE(st().SesModified);

  dialogs_.AnswerButton(MsgResult::Yes);
  dialogs_.AnswerPath(path("kept.svs"));
  EXPECT_TRUE(form_->CanCloseApplication());
  EXPECT_TRUE(QFile::exists(path("kept.svs")));

  // No lets the program end, but the session stays modified until it has
  // ended: asked again (the way out through the main window) the answer
  // holds; once the end was refused elsewhere, or the session changed, the
  // question comes again.
  key(Qt::Key_Q);
  dialogs_.Clear();
  dialogs_.AnswerButton(MsgResult::No);
  Control<QAction>(*form_, "exitAction")->trigger();
  EXPECT_EQ(exits_, 2);
  EXPECT_TRUE(st().SesModified);
  EXPECT_TRUE(form_->isWindowModified());
  EXPECT_TRUE(form_->CanCloseApplication());
  EXPECT_EQ(dialogs_.MessageTexts().size(), 1);
  form_->CloseRefused();
  dialogs_.AnswerButton(MsgResult::No);
  EXPECT_TRUE(form_->CanCloseApplication());
  EXPECT_EQ(dialogs_.MessageTexts().size(), 2);
  key(Qt::Key_Q);
  dialogs_.AnswerButton(MsgResult::Cancel);
  EXPECT_FALSE(form_->CanCloseApplication());
  EXPECT_EQ(dialogs_.MessageTexts().size(), 3);
  EXPECT_EQ(dialogs_.Unexpected(), 0);
}

}  // namespace
}  // namespace ovrel
