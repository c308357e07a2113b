// The editor's Import... and Export... of .sbg and .gnaural schedules, and
// Open of a schedule, on the real editor window with scripted dialogs.

#include "editor/EditorFixture.h"
#include "format/ExchangeFormat.h"
#include "support/FindChild.h"

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
  dialogs_.AnswerButton(MsgResult::Ok);
  Control<QAction>(*form_, "importAction")->trigger();

  ASSERT_EQ(dialogs_.Calls().size(), 3u);
  EXPECT_EQ(dialogs_.Calls()[1].File.Filter, kScheduleFilter);
  const MessageRequest& box = dialogs_.Calls()[2].Message;
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
    const ExchangeRead back = ImportExchangeFile(path(name).toStdString());
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

}  // namespace
}  // namespace ovrel
