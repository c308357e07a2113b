// The editor's Import... and Export... of .sbg and .gnaural schedules, and
// Open of a schedule, on the real editor window with scripted dialogs.

#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QUndoStack>
#include <algorithm>

#include "editor/EditorFixture.h"
#include "format/ExchangeFormat.h"
#include "format/FileFormats.h"
#include "support/FindChild.h"
#include "ui/QtDialogs.h"

namespace ovrel {
namespace {

class EditorSchedule : public EditorTest {};

TEST_F(EditorSchedule, ImportListsEveryChangeInABoxAndCanBeUndone) {
  makeSession(3);
  st().SesModified = true;
  const Session before = st().Ses;
  const QString sbg = path("Evening.sbg");
  writeFile(sbg, "a: 200+7.5/50 pink/20\nNOW a\n+00:02 a\n+00:03 a\n");
  dialogs_.AnswerButton(MsgResult::No);  // do not save the modified session
  dialogs_.AnswerPath(sbg);
  dialogs_.AnswerNumber(30);  // the open end's length, as proposed
  dialogs_.AnswerButton(MsgResult::Ok);
  Control<QAction>(*form_, "importAction")->trigger();

  ASSERT_EQ(dialogs_.Calls().size(), 4u);
  EXPECT_EQ(dialogs_.Calls()[1].File.Filter, kScheduleFilter);
  EXPECT_EQ(dialogs_.Calls()[2].Dialog, ScriptedDialogs::Kind::Number);
  const MessageRequest& box = dialogs_.Calls()[3].Message;
  EXPECT_EQ(box.Icon, MsgIcon::Information);
  EXPECT_TRUE(box.Text.contains("4 places")) << box.Text.toStdString();
  EXPECT_TRUE(box.Detail.contains("line 1: the beat 7.5 Hz is rounded to 8 Hz"));
  EXPECT_TRUE(box.Detail.contains("line 1: pink noise (pink/20) is not taken over"));
  // The last tone-set plays on with no end: it is given 30 minutes, in 6
  // segments.
  EXPECT_TRUE(
      box.Detail.contains("line 4: the last time line's \"a\" plays on with no end; the "
                          "session gives it 30:00."));

  ASSERT_EQ(st().Ses.SegCount, 2 + 6);
  EXPECT_EQ(st().Ses[1], (Segment{8, kImportedMode, 8, 8, 200}));
  EXPECT_EQ(st().SesName, "Evening");
  EXPECT_EQ(st().SesFileName, "");
  EXPECT_TRUE(st().SesModified);  // nothing of it is saved as a session yet

  Control<QAction>(*form_, "undoAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, before.SegCount);
  EXPECT_EQ(st().Ses[1], before[1]);
}

TEST_F(EditorSchedule, AFileThatCannotBeImportedIsReportedAndChangesNothing) {
  makeSession(2);
  const Session before = st().Ses;
  const QString bad = path("Broken.gnaural");
  writeFile(bad,
            "<schedule><voicecount>3</voicecount><totalentrycount>0</totalentrycount>"
            "<voice><type>1</type></voice></schedule>");
  dialogs_.AnswerButton(MsgResult::Ok);
  form_->OpenSessionFile(bad);  // Open imports a schedule
  ASSERT_FALSE(dialogs_.Calls().empty());
  const MessageRequest& box = dialogs_.Calls().back().Message;
  EXPECT_EQ(box.Icon, MsgIcon::Error);
  EXPECT_TRUE(box.Detail.contains("The file has no binaural beat voice"))
      << box.Detail.toStdString();
  EXPECT_EQ(st().Ses.SegCount, before.SegCount);
  EXPECT_EQ(st().Ses[2], before[2]);
}

TEST_F(EditorSchedule, ExportWritesTheFormatOfTheChosenNameAndItReadsBack) {
  makeSession(4);
  st().Ses[2].Mode = 3;
  for (const char* name : {"Out.gnaural", "Out.sbg"}) {
    dialogs_.Clear();
    dialogs_.AnswerPath(path(name));
    dialogs_.AnswerButton(MsgResult::Ok);  // the note that modes are not carried
    Control<QAction>(*form_, "exportAction")->trigger();
    const ExchangeRead back = ReadFormatFile(path(name).toStdString(), {FormatRole::Schedule});
    ASSERT_TRUE(back) << name << ": " << back.Error();
    ASSERT_EQ(back->Session.SegCount, st().Ses.SegCount);
    for (int32_t k = 1; k <= st().Ses.SegCount; ++k) {
      Segment want = st().Ses[k];
      want.Mode = kImportedMode;
      EXPECT_EQ(back->Session[k], want) << name << " segment " << k;
    }
  }
  // A name of another type is refused, and nothing is written.
  dialogs_.Clear();
  dialogs_.AnswerPath(path("Out.txt"));
  dialogs_.AnswerButton(MsgResult::Ok);
  Control<QAction>(*form_, "exportAction")->trigger();
  EXPECT_FALSE(QFileInfo::exists(path("Out.txt")));
  ASSERT_EQ(dialogs_.Calls().size(), 2u);
  EXPECT_EQ(dialogs_.Calls()[1].Message.Icon, MsgIcon::Error);
}

// The length of an open end: asked with the same default and range as
// ovrel convert --length, on Import and on Open alike.
TEST_F(EditorSchedule, AnOpenEndPlaysAsLongAsTheUserSays) {
  const QString sbg = path("Alpha.sbg");
  writeFile(sbg, "alpha: 200+10/50\n0:00 alpha\n");
  struct Case {
    const char* how;
    int minutes;
  };
  for (const Case& c : {Case{"import", 12}, Case{"open", 2185}, Case{"import", 1}}) {
    dialogs_.Clear();
    st().SesModified = false;
    if (c.how == std::string("import")) dialogs_.AnswerPath(sbg);
    dialogs_.AnswerNumber(c.minutes);
    dialogs_.AnswerButton(MsgResult::Ok);
    if (c.how == std::string("import"))
      Control<QAction>(*form_, "importAction")->trigger();
    else
      form_->OpenSessionFile(sbg);

    const auto number =
        std::find_if(dialogs_.Calls().begin(), dialogs_.Calls().end(),
                     [](const auto& call) { return call.Dialog == ScriptedDialogs::Kind::Number; });
    ASSERT_NE(number, dialogs_.Calls().end()) << c.how;
    EXPECT_EQ(number->Number.Value, kDefaultOpenEndMinutes);
    EXPECT_EQ(number->Number.Minimum, 1);
    EXPECT_EQ(number->Number.Maximum, kMaxOpenEndMinutes);
    EXPECT_EQ(number->Window, form_.get());
    EXPECT_EQ(dialogs_.Unexpected(), 0);
    int64_t units = 0;
    for (int32_t k = 1; k <= st().Ses.SegCount; ++k) units += st().Ses[k].Time;
    EXPECT_EQ(units * TimeUnit, int64_t{c.minutes} * 60) << c.how << " " << c.minutes;
    EXPECT_EQ(st().Ses[1].FreqStart, 10);
    const std::string given = "the session gives it " + ClockText(c.minutes * 60.0) + ".";
    EXPECT_TRUE(dialogs_.Calls().back().Message.Detail.contains(QString::fromStdString(given)))
        << dialogs_.Calls().back().Message.Detail.toStdString();
  }
}

TEST_F(EditorSchedule, CancellingTheLengthImportsNothing) {
  makeSession(3);
  st().Ses[2].Pitch = 321;
  const Session before = st().Ses;
  const int steps = form_->Document().UndoStack()->count();
  const QString sbg = path("Alpha.sbg");
  writeFile(sbg, "alpha: 200+10/50\nNOW alpha\n");
  dialogs_.AnswerPath(sbg);
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "importAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 2u);  // no box after the cancel
  EXPECT_EQ(dialogs_.Unexpected(), 0);
  EXPECT_EQ(st().Ses.SegCount, before.SegCount);
  EXPECT_EQ(st().Ses[2], before[2]);
  EXPECT_FALSE(st().SesModified);
  EXPECT_EQ(form_->Document().UndoStack()->count(), steps);
  EXPECT_NE(st().SesName, "Alpha");
}

TEST_F(EditorSchedule, AScheduleWithAnEndIsImportedWithoutAQuestion) {
  const QString ends = path("Ends.sbg");
  writeFile(ends, "a: 200+10/50\noff: -\nNOW a\n+00:05 off\n");
  const QString loop = path("Loop.gnaural");  // a schedule loops: it has no open end
  ASSERT_TRUE(WriteFormatFile(loop.toStdString(), {FormatRole::Schedule}, Session{}, "Loop", "p"));
  for (const QString& file : {ends, loop}) {
    dialogs_.Clear();
    st().SesModified = false;
    dialogs_.AnswerPath(file);
    dialogs_.AnswerButton(MsgResult::Ok);
    Control<QAction>(*form_, "importAction")->trigger();
    for (const auto& call : dialogs_.Calls())
      EXPECT_NE(call.Dialog, ScriptedDialogs::Kind::Number) << file.toStdString();
    EXPECT_EQ(dialogs_.Unexpected(), 0);
    EXPECT_EQ(st().SesName, QFileInfo(file).completeBaseName().toStdString());
  }
}

// The real number dialog: over the window that asks, the proposal shown,
// the typed number taken, Cancel answering nothing.
TEST_F(EditorSchedule, TheNumberDialogTakesWhatIsTypedAndCancels) {
  QtDialogs qtDialogs;
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  NumberRequest request;
  request.Label = QStringLiteral("How many minutes?");
  request.Value = 30;
  request.Minimum = 1;
  request.Maximum = 2185;
  request.Window = form_.get();
  for (const bool accept : {true, false}) {
    QString shown;
    QWidget* owner = nullptr;
    QTimer::singleShot(0, form_.get(), [&] {
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      owner = dialog->parentWidget();
      auto* spin = dialog->findChild<QSpinBox*>();
      shown = spin->text() + " " + dialog->findChild<QLabel*>()->text();
      spin->selectAll();
      QTest::keyClicks(spin, "45");
      accept ? dialog->accept() : dialog->reject();
    });
    const std::optional<int> minutes = qtDialogs.AskNumber(request);
    EXPECT_EQ(owner, form_.get());
    EXPECT_EQ(shown, "30 How many minutes?");
    EXPECT_EQ(minutes, accept ? std::optional<int>(45) : std::nullopt);
  }
}

}  // namespace
}  // namespace ovrel
