// The main window without a device: creation, folders, the "Select"
// buttons, the port list, the editor buttons and closing.
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include "app/MainWindow.h"
#include "device/link/DeviceLink.h"
#include "support/AccessibleNames.h"
#include "support/FindChild.h"
#include "tests/app/MainWindowFixture.h"

namespace ovrel::test {
namespace {

using MainWindowTest = MainWindowFixture;

TEST_F(MainWindowTest, CreationSetsFoldersCurrentDirectoryAndInitialState) {
  MainWindow& f = MakeForm();
  EXPECT_EQ(f.Folders().ProgramFolder(), programFolder);
  EXPECT_EQ(f.Folders().SessionsFolder(), programFolder + QStringLiteral("/Sessions"));
  EXPECT_EQ(f.Folders().LibrariesFolder(), programFolder + QStringLiteral("/Libraries"));
  EXPECT_TRUE(f.Folders().SelectedLibraryPath().isEmpty());
  EXPECT_TRUE(f.Folders().SelectedSessionPath().isEmpty());
  EXPECT_EQ(QDir::currentPath(), programFolder);

  EXPECT_EQ(f.windowTitle(), QStringLiteral("Sorvani Ovrelware 1.5"));
  EXPECT_FALSE(f.isVisible());

  EXPECT_TRUE(Control<QLineEdit>(f, "libraryFileEdit")->text().isEmpty());
  EXPECT_TRUE(Control<QLineEdit>(f, "sessionFileEdit")->text().isEmpty());
  EXPECT_FALSE(Control<QPushButton>(f, "uploadLibraryButton")->isEnabled());
  EXPECT_FALSE(Control<QPushButton>(f, "uploadAddButton")->isEnabled());
  EXPECT_TRUE(Control<QPushButton>(f, "connectButton")->isEnabled());
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Click on the Connect button first"));
  EXPECT_EQ(f.PanelText(1), QStringLiteral("Not connected"));
}

// A screen reader names every control the keyboard reaches, each differently.
TEST_F(MainWindowTest, EveryControlHasItsOwnAccessibleName) {
  MainWindow& f = MakeForm();
  QStringList names = AccessibleNamesOfControls(f);
  EXPECT_EQ(names.size(), 11);
  EXPECT_FALSE(names.contains(QString())) << names.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(names.removeDuplicates(), 0) << names.join(QLatin1Char('|')).toStdString();
}

TEST_F(MainWindowTest, ProgramFolderIsTheLongFormOfTheProgramPath) {
  ASSERT_TRUE(QFile::link(programFolder, root + QStringLiteral("/BIN~1")));
  MainWindow& f = MakeForm(root + QStringLiteral("/BIN~1/ovrelware"));
  EXPECT_EQ(f.Folders().ProgramFolder(), programFolder);
  EXPECT_EQ(QDir::currentPath(), programFolder);
}

TEST_F(MainWindowTest, MissingProgramPathLeavesProgramFolderEmpty) {
  const QString before = QDir::currentPath();
  MainWindow& f = MakeForm(root + QStringLiteral("/nowhere/ovrelware"));
  EXPECT_EQ(f.Folders().ProgramFolder(), QString());
  EXPECT_EQ(f.Folders().SessionsFolder(), QStringLiteral("/Sessions"));
  EXPECT_EQ(f.Folders().LibrariesFolder(), QStringLiteral("/Libraries"));
  EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(MainWindowTest, LibrarySelectAcceptsCapitalExtensionsAndMovesTheFolder) {
  MainWindow& f = MakeForm();
  const QString chosen = root + QStringLiteral("/Libs/LIB1.SVL");  // need not exist
  dialogs.AnswerPath(chosen);
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  const FileDialogRequest& request = dialogs.Calls()[0].File;
  EXPECT_EQ(dialogs.Calls()[0].Dialog, ScriptedDialogs::Kind::OpenFile);
  EXPECT_EQ(request.Filter, QStringLiteral("Sorvani Pro session library(*.svl)|*.svl"));
  EXPECT_EQ(request.DefaultExt, QStringLiteral("svl"));
  EXPECT_EQ(request.InitialDir, programFolder + QStringLiteral("/Libraries"));
  EXPECT_TRUE(request.FileName.isEmpty());

  EXPECT_EQ(f.Folders().SelectedLibraryPath(), chosen);
  EXPECT_EQ(Control<QLineEdit>(f, "libraryFileEdit")->text(), QStringLiteral("LIB1.SVL"));
  EXPECT_EQ(f.Folders().LibrariesFolder(), root + QStringLiteral("/Libs/"));
  EXPECT_FALSE(Control<QPushButton>(f, "uploadLibraryButton")
                   ->isEnabled());  // only a found device enables it

  dialogs.AnswerCancel();
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  EXPECT_EQ(dialogs.Calls().back().File.InitialDir, root + QStringLiteral("/Libs/"));
  EXPECT_EQ(f.Folders().SelectedLibraryPath(), chosen);  // cancel changes nothing
  EXPECT_EQ(Control<QLineEdit>(f, "libraryFileEdit")->text(), QStringLiteral("LIB1.SVL"));
  EXPECT_EQ(dialogs.Unexpected(), 0);
}

TEST_F(MainWindowTest, LibrarySelectRefusesOtherExtensions) {
  MainWindow& f = MakeForm();
  for (const QString& name : {QStringLiteral("notes.txt"), QStringLiteral("lib.svl.bak"),
                              QStringLiteral("session.svs"), QStringLiteral("svl")}) {
    dialogs.Clear();
    dialogs.AnswerPath(root + QStringLiteral("/other/") + name);
    QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
    ASSERT_EQ(dialogs.Calls().size(), 2u) << name.toStdString();
    const MessageRequest& box = dialogs.Calls()[1].Message;
    EXPECT_EQ(box.Text, QStringLiteral("Unsupported session library file format"));
    EXPECT_EQ(box.Caption, QStringLiteral("Sorvani Ovrel"));
    EXPECT_EQ(box.Icon, MsgIcon::Error);
    EXPECT_EQ(box.Buttons, MsgButtons::Ok);
  }
  EXPECT_TRUE(f.Folders().SelectedLibraryPath().isEmpty());
  EXPECT_TRUE(Control<QLineEdit>(f, "libraryFileEdit")->text().isEmpty());
  EXPECT_EQ(f.Folders().LibrariesFolder(), programFolder + QStringLiteral("/Libraries"));
}

TEST_F(MainWindowTest, SessionSelectHasItsOwnFilterMessageAndTargets) {
  MainWindow& f = MakeForm();
  dialogs.AnswerPath(root + QStringLiteral("/Mine/Relax.Svs"));
  QTest::mouseClick(Control<QPushButton>(f, "selectSessionButton"), Qt::LeftButton);
  const FileDialogRequest& request = dialogs.Calls()[0].File;
  EXPECT_EQ(request.Filter, QStringLiteral("Sorvani Pro session (*.svs)|*.svs"));
  EXPECT_EQ(request.DefaultExt, QStringLiteral("svl"));  // the dialog is shared with libraries
  EXPECT_EQ(request.InitialDir, programFolder + QStringLiteral("/Sessions"));
  EXPECT_EQ(f.Folders().SelectedSessionPath(), root + QStringLiteral("/Mine/Relax.Svs"));
  EXPECT_EQ(Control<QLineEdit>(f, "sessionFileEdit")->text(), QStringLiteral("Relax.Svs"));
  EXPECT_EQ(f.Folders().SessionsFolder(), root + QStringLiteral("/Mine/"));
  EXPECT_TRUE(f.Folders().SelectedLibraryPath().isEmpty());

  dialogs.AnswerPath(root + QStringLiteral("/Other/lib.svl"));
  QTest::mouseClick(Control<QPushButton>(f, "selectSessionButton"), Qt::LeftButton);
  EXPECT_EQ(dialogs.MessageTexts(), QStringList{QStringLiteral("Unsupported session file format")});
  EXPECT_EQ(dialogs.Calls()[1].File.InitialDir, root + QStringLiteral("/Mine/"));
  EXPECT_EQ(f.Folders().SelectedSessionPath(), root + QStringLiteral("/Mine/Relax.Svs"));
  EXPECT_EQ(f.Folders().SessionsFolder(), root + QStringLiteral("/Mine/"));
}

class MainWindowPortList : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("dev")));
    for (const char* name : {"ttyC", "ttyA", "ttyB"}) WriteFile(Port(name), {});
  }
  QString Port(const char* name) const {
    return root + QStringLiteral("/dev/") + QLatin1String(name);
  }
  void OpenList(MainWindow& f) {
    Control<PortComboBox>(f, "portComboBox")->showPopup();
    Control<PortComboBox>(f, "portComboBox")->hidePopup();
  }
};

TEST_F(MainWindowPortList, ListedSortedWithNothingSelectedWhenThePortIsNotListed) {
  SetPorts({Port("ttyC"), Port("ttyA"), Port("ttyB")});
  MainWindow& f = MakeForm();
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Items(),
            (QStringList{Port("ttyA"), Port("ttyB"), Port("ttyC")}));
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->ItemIndex(), -1);
  EXPECT_TRUE(Control<PortComboBox>(f, "portComboBox")->Text().isEmpty());
  OpenList(f);  // no selection: the first entry is selected
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Text(), Port("ttyA"));
  EXPECT_NE(f.Link().Port(), Port("ttyA"));  // a selection by the program only
}

TEST_F(MainWindowPortList, UserChoiceGoesToThePortAndSurvivesARefresh) {
  SetPorts({Port("ttyA"), Port("ttyB"), Port("ttyC")});
  MainWindow& f = MakeForm();
  Control<PortComboBox>(f, "portComboBox")->SetItemIndex(0);
  Control<PortComboBox>(f, "portComboBox")->setFocus();
  QTest::keyClick(Control<PortComboBox>(f, "portComboBox"), Qt::Key_Down);  // the user picks ttyB
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Text(), Port("ttyB"));
  EXPECT_EQ(f.Link().Port(), Port("ttyB"));
  EXPECT_FALSE(f.Link().Line().IsOpen());

  QFile::remove(Port("ttyA"));  // another port goes away: ttyB stays selected
  OpenList(f);
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Items(),
            (QStringList{Port("ttyB"), Port("ttyC")}));
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Text(), Port("ttyB"));

  QFile::remove(Port("ttyB"));  // the selected port goes away: the first is selected
  OpenList(f);
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Items(), QStringList{Port("ttyC")});
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Text(), Port("ttyC"));
  EXPECT_EQ(f.Link().Port(), Port("ttyB"));

  SetPorts({});  // no port at all
  OpenList(f);
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->count(), 0);
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->ItemIndex(), -1);
  EXPECT_TRUE(dialogs.Calls().empty());
}

TEST_F(MainWindowPortList, TextSelectsWithoutRegardToCaseAndKeepsTheSelectionOtherwise) {
  SetPorts({Port("ttyA"), Port("ttyB")});
  MainWindow& f = MakeForm();
  const QString portBefore = f.Link().Port();
  Control<PortComboBox>(f, "portComboBox")
      ->SetText(Port("ttyB").replace(QStringLiteral("ttyB"), QStringLiteral("TTYb")));
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Text(), Port("ttyB"));
  Control<PortComboBox>(f, "portComboBox")->SetText(QStringLiteral("/dev/none"));
  EXPECT_EQ(Control<PortComboBox>(f, "portComboBox")->Text(), Port("ttyB"));
  EXPECT_EQ(f.Link().Port(), portBefore);  // selections by the program leave the port
}

TEST_F(MainWindowTest, EditorButtonsShowTheirOneWindow) {
  MainWindow& f = MakeForm();
  QWidget editor, compiler;
  f.SetEditorWindows(&editor, &compiler);
  QTest::mouseClick(Control<QPushButton>(f, "sessionEditorButton"), Qt::LeftButton);
  EXPECT_TRUE(editor.isVisible());
  EXPECT_FALSE(compiler.isVisible());
  QTest::mouseClick(Control<QPushButton>(f, "libraryCompilerButton"), Qt::LeftButton);
  EXPECT_TRUE(compiler.isVisible());
  editor.hide();
  QTest::mouseClick(Control<QPushButton>(f, "sessionEditorButton"), Qt::LeftButton);
  EXPECT_TRUE(editor.isVisible());
}

TEST_F(MainWindowTest, ClosingAsksTheEditorAndCancelKeepsTheProgramRunning) {
  MainWindow& f = MakeForm();
  f.ShowInFront();
  QSignalSpy closed(&f, &MainWindow::Closed);
  bool answer = false;
  int asked = 0;
  f.SetCanCloseApplication([&] {
    ++asked;
    return answer;
  });
  EXPECT_FALSE(f.close());
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(closed.count(), 0);
  answer = true;
  EXPECT_TRUE(f.close());
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(asked, 2);
}

TEST_F(MainWindowTest, EditedNameChoosesThatFileInTheSelectedFolder) {
  MainWindow& f = MakeForm();
  dialogs.AnswerPath(root + QStringLiteral("/Libs/first.svl"));
  QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
  Control<QLineEdit>(f, "libraryFileEdit")->setText(QStringLiteral("second.svl"));
  dialogs.Clear();
  QMetaObject::invokeMethod(
      &f, "onUploadLibraryClicked");  // no such file: the link says so before it opens any port
  WaitUntilIdle(f);
  EXPECT_EQ(f.Folders().SelectedLibraryPath(), root + QStringLiteral("/Libs/second.svl"));
  EXPECT_EQ(dialogs.MessageTexts(),
            QStringList{QStringLiteral("The session library file not found.\n") +
                        QDir::toNativeSeparators(root + QStringLiteral("/Libs/second.svl"))});
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library upload failed"));

  // Nothing selected yet: the typed name is looked up in the sessions folder.
  Control<QLineEdit>(f, "sessionFileEdit")->setText(QStringLiteral("typed.svs"));
  dialogs.Clear();
  QMetaObject::invokeMethod(&f, "onUploadAddClicked");
  EXPECT_EQ(f.Folders().SelectedSessionPath(),
            programFolder + QStringLiteral("/Sessions/typed.svs"));
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  EXPECT_EQ(dialogs.Calls()[0].Message.Text, QStringLiteral("The session file not found."));
  EXPECT_EQ(dialogs.Calls()[0].Message.Icon, MsgIcon::Error);
  EXPECT_EQ(f.PanelText(0), QStringLiteral("Sorvani session library upload failed"));  // unchanged
}

TEST_F(MainWindowTest, EveryCaptionFitsItsControl) {
  MainWindow& f = MakeForm();
  f.ShowInFront();
  for (const QPushButton* button : f.findChildren<QPushButton*>()) {
    const int needed = button->fontMetrics().horizontalAdvance(button->text()) + 8;
    EXPECT_LE(needed, button->width()) << button->text().toStdString();
  }
  for (const QLabel* label : f.findChildren<QLabel*>()) {
    const int needed =
        label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->frameWidth();
    EXPECT_LE(needed, label->width()) << label->text().toStdString();
  }
  // The longest status texts of the device operations fit panel 0.
  const QFontMetrics metrics(f.font());
  EXPECT_LE(
      metrics.horizontalAdvance(QStringLiteral("Sorvani session library uploaded successfully")),
      276);
  EXPECT_LE(
      metrics.horizontalAdvance(QStringLiteral("Single session uploaded to Sorvani successfully")),
      276);
}

TEST_F(MainWindowTest, TheNextWindowRestoresThePortFilesFoldersAndPlace) {
  // Stand-ins for ports: listed only, never opened.
  const QString portA = root + QStringLiteral("/ttyA"), portB = root + QStringLiteral("/ttyB");
  WriteFile(portA, {});
  WriteFile(portB, {});
  SetPorts({portA, portB});
  ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("Mine")));
  const QString library = root + QStringLiteral("/Mine/Evening.svl");
  const QString session = root + QStringLiteral("/Mine/Calm.svs");
  WriteFile(library, {});
  WriteFile(session, {});
  {
    MainWindow& f = MakeForm();
    auto* ports = Control<PortComboBox>(f, "portComboBox");
    ports->SetItemIndex(1);
    emit ports->activated(1);  // as when the user picks it
    ASSERT_EQ(f.Link().Port(), portB);
    dialogs.AnswerPath(library);
    QTest::mouseClick(Control<QPushButton>(f, "selectLibraryButton"), Qt::LeftButton);
    dialogs.AnswerPath(session);
    QTest::mouseClick(Control<QPushButton>(f, "selectSessionButton"), Qt::LeftButton);
    f.ShowInFront();
    f.move(f.pos() + QPoint(37, 23));
    QTest::qWait(10);
    const QPoint placed = f.pos();
    f.close();
    form.reset();

    MainWindow& g = MakeForm();
    EXPECT_EQ(g.Link().Port(), portB);
    EXPECT_EQ(Control<PortComboBox>(g, "portComboBox")->Text(), portB);
    EXPECT_EQ(g.Folders().SelectedLibraryPath(), library);
    EXPECT_EQ(Control<QLineEdit>(g, "libraryFileEdit")->text(), QStringLiteral("Evening.svl"));
    EXPECT_EQ(g.Folders().SelectedSessionPath(), session);
    EXPECT_EQ(Control<QLineEdit>(g, "sessionFileEdit")->text(), QStringLiteral("Calm.svs"));
    EXPECT_EQ(g.Folders().LibrariesFolder(), root + QStringLiteral("/Mine/"));
    EXPECT_EQ(g.Folders().SessionsFolder(), root + QStringLiteral("/Mine/"));
    g.ShowInFront();
    EXPECT_EQ(g.pos(), placed);
    g.close();
    form.reset();
  }
  // A port the system no longer lists, and files that are gone, are not
  // taken: the link has no port until one is picked.
  SetPorts({portA});
  ASSERT_TRUE(QFile::remove(library));
  MainWindow& h = MakeForm();
  EXPECT_TRUE(h.Link().Port().isEmpty());
  EXPECT_TRUE(Control<PortComboBox>(h, "portComboBox")->Text().isEmpty());
  EXPECT_TRUE(h.Folders().SelectedLibraryPath().isEmpty());
  EXPECT_EQ(h.Folders().SelectedSessionPath(), session);
  EXPECT_EQ(dialogs.Unexpected(), 0);
}

// A session file name typed into the box (Enter) is remembered as a picked
// one is; a name of no file is not.
TEST_F(MainWindowTest, ATypedSessionFileNameIsRememberedLikeAPickedOne) {
  WriteFile(programFolder + QStringLiteral("/Sessions/Calm.svs"), {});
  WriteFile(programFolder + QStringLiteral("/Sessions/Walk.svs"), {});
  {
    MainWindow& f = MakeForm();
    f.ShowInFront();
    auto* edit = Control<QLineEdit>(f, "sessionFileEdit");
    edit->setFocus();
    edit->setText(QStringLiteral("Walk.svs"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(f.Folders().SelectedSessionPath(),
              programFolder + QStringLiteral("/Sessions/Walk.svs"));
    edit->setText(QStringLiteral("Gone.svs"));
    QTest::keyClick(edit, Qt::Key_Return);
    f.close();
    form.reset();
  }
  MainWindow& g = MakeForm();
  EXPECT_EQ(g.Folders().SelectedSessionPath(),
            programFolder + QStringLiteral("/Sessions/Walk.svs"));
  EXPECT_EQ(Control<QLineEdit>(g, "sessionFileEdit")->text(), QStringLiteral("Walk.svs"));
}

// The box of failed remote requests counts a message that comes again while
// it is open, and starts from one once the user has closed it.
TEST_F(MainWindowTest, TheRemoteFailureBoxCountsFromOneAgainAfterItWasClosed) {
  MainWindow& f = MakeForm();
  f.ShowInFront();
  JobResult failed;
  failed.Failed = JobFailure::File;
  failed.Message = {JobText::LibFileNotFound, {}, {}};
  const QString text = failed.Message.Text();
  f.ShowRemoteFailure(failed);
  f.ShowRemoteFailure(failed);
  auto* box = f.findChild<QMessageBox*>(QStringLiteral("remoteFailureBox"));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), text + QStringLiteral(" (repeated 2 times)"));
  box->button(QMessageBox::Ok)->click();
  ASSERT_FALSE(box->isVisible());
  f.ShowRemoteFailure(failed);
  EXPECT_EQ(box->text(), text);
  EXPECT_TRUE(box->isVisible());
}

}  // namespace
}  // namespace ovrel::test
