// The editor's legacy import and CSV export commands on the real editor
// window, with scripted dialogs.

#include "editor/EditorFixture.h"
#include "format/CsvExport.h"
#include "format/LegacyImport.h"
#include "support/FindChild.h"

namespace ovrel {
namespace {

const QByteArray kSeg = "x\t1:00\t\t10\t10\t\t\tA4\t\tLR\r\n";  // 4 units, pitch 220

class EditorImportExport : public EditorTest {
 protected:
  QString rvx(const QString& name, const QByteArray& segments) {
    const QString p = tmp_.path() + "/" + name;
    writeFile(p, "START\r\n" + segments + "END\r\n");
    return p;
  }
  QString caption() const { return ShownTitle(*form_); }
};

TEST_F(EditorImportExport, ImportShowsTheSessionUnderItsNameWithoutAFile) {
  makeSession(3);
  st().SesFileName = path("Old.svs").toStdString();
  dialogs_.AnswerPath(rvx("Morning.rvx", kSeg + QByteArray(kSeg).replace("A4", "C4")));
  Control<QAction>(*form_, "importRvxAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  const FileDialogRequest& asked = dialogs_.Calls()[0].File;
  EXPECT_EQ(asked.Title, "Import RVX file");
  EXPECT_EQ(asked.Filter, "RVX file|*.rvx");
  EXPECT_EQ(asked.FileName, "");
  EXPECT_EQ(asked.InitialDir, tmp_.path());

  ASSERT_EQ(st().Ses.SegCount, 2);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{220, 262}));
  EXPECT_EQ(cell(1, 2), "LR");
  EXPECT_EQ(cell(2, 5), "262");
  EXPECT_EQ(st().SesName, "Morning");
  EXPECT_EQ(st().SesFileName, "");
  EXPECT_FALSE(st().SesModified);
  EXPECT_EQ(caption(), "Sorvani Ovrelware 1.5 - Session Editor - [Morning]");
  EXPECT_EQ(Control<QLabel>(*form_, "segmentStartText")->text(), "Segment 1 start time: 0:00.0");
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 2:00.0");
  EXPECT_EQ(grid()->currentIndex().column(), 0);

  // Save asks for a name, proposing the imported one; a new session drops it.
  dialogs_.Clear();
  dialogs_.AnswerCancel();
  EXPECT_EQ(form_->Save(), SessionEditorWindow::SaveOutcome::Cancelled);
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].Dialog, ScriptedDialogs::Kind::SaveFile);
  EXPECT_EQ(dialogs_.Calls()[0].File.FileName, "Morning.svs");
  Control<QAction>(*form_, "newAction")->trigger();
  dialogs_.Clear();
  dialogs_.AnswerCancel();
  form_->Save();
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  EXPECT_EQ(dialogs_.Calls()[0].File.FileName, "");
}

TEST_F(EditorImportExport, ImportAsksAboutUnsavedChanges) {
  makeSession(2);
  st().SesModified = true;
  dialogs_.AnswerButton(MsgResult::Cancel);
  Control<QAction>(*form_, "importRvxAction")->trigger();
  EXPECT_EQ(dialogs_.MessageTexts(),
            QStringList{"Session has been modified. Save it before importing RVX file?"});
  EXPECT_EQ(dialogs_.Calls().size(), 1u);  // no file dialog
  EXPECT_EQ(st().Ses.SegCount, 2);

  // Yes saves the unnamed session through Save As, then imports.
  dialogs_.Clear();
  dialogs_.AnswerButton(MsgResult::Yes);
  dialogs_.AnswerPath(path("Kept.svs"));
  dialogs_.AnswerPath(rvx("New.rvx", kSeg + kSeg));
  Control<QAction>(*form_, "importRvxAction")->trigger();
  EXPECT_TRUE(QFile::exists(path("Kept.svs")));
  EXPECT_EQ(st().SesName, "New");
  EXPECT_EQ(st().Ses.SegCount, 1);  // two equal segments merged
  EXPECT_TRUE(st().SesModified);
  EXPECT_EQ(dialogs_.Unexpected(), 0);
}

// Yes to the save question and then Cancel in the Save As dialog: the
// import would replace the session that was not saved, so nothing happens.
TEST_F(EditorImportExport, CancellingTheSaveBeforeAnImportImportsNothing) {
  for (const char* action : {"importAction", "importRvxAction"}) {
    SCOPED_TRACE(action);
    makeSession(3);
    st().SesModified = true;
    const Session before = st().Ses;
    dialogs_.Clear();
    dialogs_.AnswerButton(MsgResult::Yes);
    dialogs_.AnswerCancel();
    Control<QAction>(*form_, action)->trigger();
    ASSERT_EQ(dialogs_.Calls().size(), 2u);  // the question and Save As, no file to import
    EXPECT_EQ(dialogs_.Calls()[1].Dialog, ScriptedDialogs::Kind::SaveFile);
    EXPECT_EQ(st().Ses.SegCount, before.SegCount);
    EXPECT_EQ(st().Ses[3], before[3]);
    EXPECT_TRUE(st().SesModified);
    EXPECT_EQ(dialogs_.Unexpected(), 0);
    st().SesModified = false;
    Control<QAction>(*form_, "newAction")->trigger();
  }
}

TEST_F(EditorImportExport, AFailedImportLeavesTheEditorAsItWas) {
  makeSession(2);
  st().SesFileName = path("Old.svs").toStdString();
  st().SesName = "Old";
  form_->Document().ShowName();
  const QString before = caption();

  dialogs_.AnswerPath(tmp_.path() + "/notes.txt");
  Control<QAction>(*form_, "importRvxAction")->trigger();
  dialogs_.AnswerPath(rvx("Bad.rvx", kSeg + "x\t130\t\t10\t10\t\t\tA4\r\n" + kSeg));
  Control<QAction>(*form_, "importRvxAction")->trigger();
  EXPECT_EQ(dialogs_.MessageTexts(),
            (QStringList{"Unsupported session file format", "RVX file import failed."}));
  const MessageRequest& failed = dialogs_.Calls().back().Message;
  EXPECT_EQ(failed.Icon, MsgIcon::Error);
  EXPECT_EQ(failed.Detail, "Line 3: the duration \"130\" has no colon (m:ss).");
  EXPECT_EQ(st().Ses.SegCount, 2);
  EXPECT_EQ(Pitches(), (std::vector<int32_t>{101, 102}));
  EXPECT_EQ(st().SesName, "Old");
  EXPECT_EQ(st().SesFileName, path("Old.svs").toStdString());
  EXPECT_EQ(caption(), before);
}

TEST_F(EditorImportExport, TruncationIsReportedAndACancelledDialogOptimises) {
  QByteArray many;
  for (int i = 0; i < 381; ++i) many += i % 2 ? kSeg : QByteArray(kSeg).replace("A4", "B4");
  dialogs_.AnswerPath(rvx("Long.rvx", many));
  Control<QAction>(*form_, "importRvxAction")->trigger();
  EXPECT_EQ(dialogs_.MessageTexts(), QStringList{QString::fromStdString(kRvxTruncated)});
  EXPECT_EQ(st().Ses.SegCount, 380);
  EXPECT_EQ(grid()->model()->columnCount(), 380);

  // Cancelling the file dialog still optimises the session in the editor.
  Control<QAction>(*form_, "newAction")->trigger();
  Control<QAction>(*form_, "addNewAction")->trigger();
  st().SesModified = false;
  dialogs_.Clear();
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "importRvxAction")->trigger();
  EXPECT_EQ(st().Ses.SegCount, 1);
  EXPECT_EQ(st().Ses[1].Time, 8);
  EXPECT_EQ(Control<QLabel>(*form_, "sessionTotalText")->text(), "Session total time: 2:00.0");
}

TEST_F(EditorImportExport, ExportProposesTheSessionsNameAndWritesTheFile) {
  makeSession(2);
  st().SesFileName = path("Relax.svs").toStdString();
  st().SesName = "Relax";
  dialogs_.AnswerPath(tmp_.path() + "/out.csv");
  Control<QAction>(*form_, "exportCsvAction")->trigger();
  ASSERT_EQ(dialogs_.Calls().size(), 1u);
  const FileDialogRequest& asked = dialogs_.Calls()[0].File;
  EXPECT_EQ(asked.Title, "Export session as");
  EXPECT_EQ(asked.Filter, "Exported session (*.csv)|*.csv");
  EXPECT_EQ(asked.FileName, path("Relax.csv"));
  QFile out(tmp_.path() + "/out.csv");
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_EQ(out.readAll().toStdString(), SesCsvText(st().Ses, "Relax"));
  EXPECT_FALSE(st().SesModified);

  // A file that cannot be written is reported; a cancelled dialog does nothing.
  dialogs_.Clear();
  dialogs_.AnswerPath(tmp_.path() + "/no/such/folder/out.csv");
  dialogs_.AnswerCancel();
  Control<QAction>(*form_, "exportCsvAction")->trigger();
  Control<QAction>(*form_, "exportCsvAction")->trigger();
  ASSERT_EQ(dialogs_.MessageTexts().size(), 1);
  EXPECT_TRUE(dialogs_.MessageTexts()[0].startsWith("Cannot write "))
      << dialogs_.MessageTexts()[0].toStdString();
  EXPECT_EQ(dialogs_.Unexpected(), 0);
}

}  // namespace
}  // namespace ovrel
