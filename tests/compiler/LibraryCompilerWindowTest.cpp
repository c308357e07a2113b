// The library compiler window, driven by clicks, with scripted dialogs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "compiler/LibraryCompilerWindow.h"
#include "library/LibraryTestFiles.h"
#include "support/AccessibleNames.h"
#include "support/FindChild.h"
#include "ui/QtDialogs.h"
#include "ui/ScriptedDialogs.h"
#include "ui/UserSettings.h"
#include "ui/WindowFont.h"

namespace ovrel {
namespace {

const QString kFull = QStringLiteral(
    "Maximum number of sessions in library limit exceeded. No more session can be added to the "
    "library.");

class LibraryCompilerWindowTest : public ::testing::Test {
 protected:
  LibraryCompilerWindowTest() {
    std::filesystem::create_directory(folder.path() / "Sessions");
    std::filesystem::create_directory(folder.path() / "Libraries");
    write("a.svs", test::DefaultSession(1));
    write("b.svs", test::DefaultSession(2));
    write("notes.txt", "not a session");
    // Sessions/ and Libraries/ in the program folder.
    settings.SetProgramFolders(QString::fromStdString(folder.path().string()), {});
    UserSettings().Clear();  // nothing remembered from an earlier test
    form = std::make_unique<LibraryCompilerWindow>(settings, dialogs);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }

  std::string write(const std::string& name, const std::string& text) {
    return folder.write("Sessions/" + name, text);
  }
  void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // What the window sees when it becomes the active window again.
  void Activate() {
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
  }
  // Selects the file `name` in the file list (empty: no file).
  void selectFile(const QString& name) {
    Control<FileListBox>(*form, "sessionFileList")->clearSelection();
    if (name.isEmpty()) return;
    const auto items =
        Control<FileListBox>(*form, "sessionFileList")->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << name.toStdString();
    Control<FileListBox>(*form, "sessionFileList")->setCurrentItem(items.front());
  }
  void selectEntry(int row) {
    Control<QListWidget>(*form, "libraryList")->clearSelection();
    if (row >= 0) Control<QListWidget>(*form, "libraryList")->setCurrentRow(row);
  }
  void add(const QString& name) {
    selectFile(name);
    click(Control<QPushButton>(*form, "addButton"));
  }
  QStringList libraryNames() const {
    QStringList names;
    for (int k = 0; k < Control<QListWidget>(*form, "libraryList")->count(); ++k)
      names << Control<QListWidget>(*form, "libraryList")->item(k)->text();
    return names;
  }
  QStringList fileNames() const {
    QStringList names;
    for (int k = 0; k < Control<FileListBox>(*form, "sessionFileList")->count(); ++k)
      names << Control<FileListBox>(*form, "sessionFileList")->item(k)->text();
    return names;
  }
  // Checks gauge and label show `percent`.
  void expectGauge(int percent) {
    EXPECT_EQ(Control<QProgressBar>(*form, "memoryGauge")->value(), percent);
    EXPECT_EQ(Control<QLabel>(*form, "availableMemoryLabel")->text(),
              QStringLiteral("Available memory: %1%").arg(percent));
  }

  test::TempFolder folder;
  FolderSettings settings;
  ScriptedDialogs dialogs;
  std::unique_ptr<LibraryCompilerWindow> form;
};

TEST_F(LibraryCompilerWindowTest, StartsEmptyOverTheSessionsFolder) {
  EXPECT_EQ(form->windowTitle(), "Sorvani Ovrelware 1.5 - Session Library Compiler");
  EXPECT_EQ(form->size(), QSize(519, 262));
  EXPECT_EQ(fileNames(), (QStringList{"a.svs", "b.svs"}));
  EXPECT_TRUE(libraryNames().isEmpty());
  expectGauge(100);
  EXPECT_EQ(Control<QPushButton>(*form, "compileButton")->text(), "Compile && Save");
  EXPECT_EQ(Control<QPushButton>(*form, "addButton")->text(), "Add ->");
  EXPECT_EQ(Control<QPushButton>(*form, "insertButton")->text(), "Insert ->");
  EXPECT_EQ(Control<QPushButton>(*form, "compileButton")->geometry(), QRect(384, 152, 121, 25));
  EXPECT_EQ(Control<FileListBox>(*form, "sessionFileList")->geometry(), QRect(16, 32, 145, 201));
}

TEST_F(LibraryCompilerWindowTest, EveryControlHasItsOwnAccessibleName) {
  QStringList names = test::AccessibleNamesOfControls(*form);
  EXPECT_EQ(names.size(), 8);
  EXPECT_FALSE(names.contains(QString())) << names.join('|').toStdString();
  EXPECT_EQ(names.removeDuplicates(), 0) << names.join('|').toStdString();
}

TEST_F(LibraryCompilerWindowTest, CaptionsFitTheirControlsInTheProgramsFont) {
  const QFont previous = QApplication::font();
  QApplication::setFont(WindowFont());
  LibraryCompilerWindow shown(settings, dialogs);
  QApplication::setFont(previous);
  for (QPushButton* button :
       {Control<QPushButton>(shown, "compileButton"),
        Control<QPushButton>(shown, "selectFolderButton"),
        Control<QPushButton>(shown, "clearButton"), Control<QPushButton>(shown, "addButton"),
        Control<QPushButton>(shown, "insertButton"), Control<QPushButton>(shown, "removeButton")}) {
    const QString text = button->text().replace("&&", "&");
    EXPECT_LE(button->fontMetrics().horizontalAdvance(text) + 8, button->width())
        << text.toStdString();
    EXPECT_LE(button->fontMetrics().height(), button->height()) << text.toStdString();
  }
  // The folder label ends before the Select button; the memory label holds
  // its widest text inside the window.
  EXPECT_LT(Control<QLabel>(shown, "sessionsFolderLabel")->geometry().right(),
            Control<QPushButton>(shown, "selectFolderButton")->x());
  const QString widest = QStringLiteral("Available memory: 100%");
  EXPECT_LE(
      Control<QLabel>(shown, "availableMemoryLabel")->x() +
          Control<QLabel>(shown, "availableMemoryLabel")->fontMetrics().horizontalAdvance(widest),
      shown.width());
  EXPECT_LE(Control<QLabel>(shown, "librarySessionsLabel")->geometry().right(), shown.width());
}

TEST_F(LibraryCompilerWindowTest, AddAndInsertWithNothingSelectedDoNothing) {
  add(QString());
  selectFile(QString());
  click(Control<QPushButton>(*form, "insertButton"));
  EXPECT_TRUE(libraryNames().isEmpty());
  add("a.svs");
  // A file but no library entry selected: Insert does nothing.
  selectEntry(-1);
  selectFile("b.svs");
  click(Control<QPushButton>(*form, "insertButton"));
  // A library entry but no file selected: Insert does nothing.
  selectEntry(0);
  selectFile(QString());
  click(Control<QPushButton>(*form, "insertButton"));
  EXPECT_EQ(libraryNames(), QStringList{"a.svs"});
  EXPECT_TRUE(dialogs.Calls().empty());
  expectGauge(99);
}

TEST_F(LibraryCompilerWindowTest, InsertGoesBeforeTheSelectedEntry) {
  add("a.svs");
  add("a.svs");
  selectEntry(1);
  selectFile("b.svs");
  click(Control<QPushButton>(*form, "insertButton"));
  EXPECT_EQ(libraryNames(), (QStringList{"a.svs", "b.svs", "a.svs"}));
  EXPECT_EQ(form->SesLibList().Entry(1).NumOfSegs, 2);
}

TEST_F(LibraryCompilerWindowTest, FullLibraryMessageComesBeforeAnythingElse) {
  for (int k = 0; k < 30; ++k) add("a.svs");
  ASSERT_EQ(libraryNames().size(), 30);
  EXPECT_TRUE(dialogs.Calls().empty());
  add(QString());  // no file selected
  selectEntry(-1);
  click(Control<QPushButton>(*form, "insertButton"));  // nothing selected at all
  add("b.svs");
  EXPECT_EQ(dialogs.MessageTexts(), (QStringList{kFull, kFull, kFull}));
  const MessageRequest& box = dialogs.Calls().front().Message;
  EXPECT_EQ(box.Caption, "Sorvani Ovrel");
  EXPECT_EQ(box.Icon, MsgIcon::Error);
  EXPECT_EQ(box.Buttons, MsgButtons::Ok);
  EXPECT_EQ(libraryNames().size(), 30);
}

TEST_F(LibraryCompilerWindowTest, RemoveWithNothingSelectedAndRemovingTheLastEntry) {
  add("b.svs");
  add("a.svs");
  selectEntry(-1);
  click(Control<QPushButton>(*form, "removeButton"));
  EXPECT_EQ(libraryNames().size(), 2);
  selectEntry(0);
  click(Control<QPushButton>(*form, "removeButton"));
  EXPECT_EQ(libraryNames(), QStringList{"a.svs"});
  expectGauge(99);
  selectEntry(0);
  click(Control<QPushButton>(*form, "removeButton"));
  EXPECT_TRUE(libraryNames().isEmpty());
  expectGauge(100);
  EXPECT_TRUE(dialogs.Calls().empty());
}

TEST_F(LibraryCompilerWindowTest, ClearEmptiesTheListAndTheSameFileCanComeTwice) {
  write("long.svs", test::DefaultSession(200));
  Activate();
  add("long.svs");
  add("long.svs");
  EXPECT_EQ(libraryNames(), (QStringList{"long.svs", "long.svs"}));
  expectGauge(2);  // F = 2043 - 10 - 2000 = 33
  click(Control<QPushButton>(*form, "clearButton"));
  EXPECT_TRUE(libraryNames().isEmpty());
  expectGauge(100);
}

TEST_F(LibraryCompilerWindowTest, ActivationReadsTheFolderAgainKeepingTheSelection) {
  selectFile("b.svs");
  write("0-new.svs", test::DefaultSession(1));
  std::filesystem::remove(folder.path() / "Sessions" / "a.svs");
  EXPECT_EQ(fileNames(), (QStringList{"a.svs", "b.svs"}));
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(form.get(), &activate);
  EXPECT_EQ(fileNames(), (QStringList{"0-new.svs", "b.svs"}));
  ASSERT_TRUE(Control<FileListBox>(*form, "sessionFileList")->FileName().has_value());
  EXPECT_EQ(*Control<FileListBox>(*form, "sessionFileList")->FileName(),
            settings.SessionsFolder() + "/b.svs");
}

TEST_F(LibraryCompilerWindowTest, RefusedFilesShowTheirMessageAndLeaveTheList) {
  const auto bad = write("bad.svs", test::SessionText("1,0,", {"36,10,10,100,100,", "36,10,"}));
  write("huge.svs", test::DefaultSession(380));
  write("more.svs", test::DefaultSession(27));
  Activate();  // the files written now appear on activation
  EXPECT_EQ(fileNames(), (QStringList{"a.svs", "b.svs", "bad.svs", "huge.svs", "more.svs"}));
  add("huge.svs");
  add("bad.svs");
  add("more.svs");
  EXPECT_EQ(dialogs.MessageTexts(),
            (QStringList{QString::fromStdString(bad) +
                             ", line 8: the segment line has 2 comma-terminated numbers where "
                             "five are needed",
                         "This session cannot be added to the library. Out of memory."}));
  EXPECT_EQ(libraryNames(), QStringList{"huge.svs"});
  expectGauge(7);  // F = 2043 - 1905 = 138
}

TEST_F(LibraryCompilerWindowTest, CompileAndSaveOfAnEmptyListWritesTheEmptyLibrary) {
  const QString target = settings.ProgramFolder() + "/Elsewhere/empty.svl";
  std::filesystem::create_directory(folder.path() / "Elsewhere");
  dialogs.AnswerPath(target);
  click(Control<QPushButton>(*form, "compileButton"));
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  const FileDialogRequest& request = dialogs.Calls().front().File;
  EXPECT_EQ(dialogs.Calls().front().Dialog, ScriptedDialogs::Kind::SaveFile);
  EXPECT_EQ(request.Filter, "Sorvani Pro session library(*.svl)|*.svl");
  EXPECT_EQ(request.DefaultExt, "svl");
  EXPECT_EQ(request.InitialDir, settings.ProgramFolder() + "/Libraries");
  EXPECT_TRUE(request.FileName.isEmpty());
  EXPECT_EQ(folder.read("Elsewhere/empty.svl"),
            (std::vector<unsigned char>{0x17, 0x00, 0x00, 0x04, 0x13}));
  EXPECT_EQ(settings.LibrariesFolder(), settings.ProgramFolder() + "/Elsewhere/");
}

// A session longer than 255 minutes is compiled and saved, after a warning
// of how the device will show its length.
TEST_F(LibraryCompilerWindowTest, ASessionOverTwoHundredFiftyFiveMinutesIsSavedAfterAWarning) {
  const std::string path = write("long.svs", test::SessionText("300,0,", {"36,10,10,100,100,"}));
  Activate();
  add("long.svs");
  ASSERT_EQ(libraryNames(), QStringList{"long.svs"});
  dialogs.AnswerButton(MsgResult::Ok);
  dialogs.AnswerPath(settings.ProgramFolder() + "/Libraries/long.svl");
  click(Control<QPushButton>(*form, "compileButton"));
  ASSERT_EQ(dialogs.Calls().size(), 2u);
  EXPECT_EQ(dialogs.Calls()[0].Message.Icon, MsgIcon::Warning);
  EXPECT_EQ(dialogs.Calls()[0].Message.Text,
            QString::fromStdString(path) +
                ": The session lasts 300:00, longer than 255 minutes: Sorvani shows a length "
                "modulo 256 minutes, so it will show 44:00.");
  const auto library = folder.read("Libraries/long.svl");
  ASSERT_EQ(library.size(), 15u);  // one session of one segment
  EXPECT_EQ(library[6], 300 - 256);  // the minutes the record keeps
}

TEST_F(LibraryCompilerWindowTest, CancelledSaveWritesNothingAndKeepsTheLibrariesFolder) {
  add("a.svs");
  dialogs.AnswerCancel();
  click(Control<QPushButton>(*form, "compileButton"));
  EXPECT_EQ(dialogs.Calls().size(), 1u);
  EXPECT_EQ(settings.LibrariesFolder(), settings.ProgramFolder() + "/Libraries");
  EXPECT_TRUE(std::filesystem::is_empty(folder.path() / "Libraries"));
}

TEST_F(LibraryCompilerWindowTest, FileChangedAfterAddingStopsTheCompileBeforeTheDialog) {
  add("a.svs");
  const auto a = write("a.svs", test::DefaultSession(5));
  click(Control<QPushButton>(*form, "compileButton"));
  EXPECT_EQ(dialogs.MessageTexts(),
            QStringList{QString::fromStdString(a) +
                        ": the file has changed since it was added to the library (5 segment "
                        "lines now, 1 before). Add it again."});
  EXPECT_EQ(dialogs.Unexpected(), 0);  // no save dialog was opened
  EXPECT_EQ(libraryNames(), QStringList{"a.svs"});
}

TEST_F(LibraryCompilerWindowTest, SelectShowsAnotherFolderWithoutChangingTheSetting) {
  std::filesystem::create_directory(folder.path() / "Other");
  folder.write("Other/X.SVS", test::DefaultSession(1));
  folder.write("Other/y.svs", test::DefaultSession(1));
  dialogs.AnswerPath(settings.ProgramFolder() + "/Other");
  click(Control<QPushButton>(*form, "selectFolderButton"));
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  EXPECT_EQ(dialogs.Calls().front().Dialog, ScriptedDialogs::Kind::BrowseFolder);
  EXPECT_EQ(dialogs.Calls().front().StartDir, settings.ProgramFolder());
  EXPECT_EQ(fileNames(), (QStringList{"X.SVS", "y.svs"}));
  EXPECT_EQ(settings.SessionsFolder(), settings.ProgramFolder() + "/Sessions");
  add("X.SVS");
  EXPECT_EQ(form->SesLibList().Entry(0).FilePath,
            (settings.ProgramFolder() + "/Other/X.SVS").toStdString());
  dialogs.AnswerCancel();
  click(Control<QPushButton>(*form, "selectFolderButton"));
  EXPECT_EQ(fileNames(), (QStringList{"X.SVS", "y.svs"}));
}

TEST_F(LibraryCompilerWindowTest, OpensOnTheFileListWhichHeadsTheTabOrder) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(QApplication::focusWidget(), Control<FileListBox>(*form, "sessionFileList"));
  // Space on the window just opened goes to the list; it does not press
  // Select and open the folder browser.
  QTest::keyClick(Control<FileListBox>(*form, "sessionFileList"), Qt::Key_Space);
  EXPECT_TRUE(dialogs.Calls().empty());
  // Tab walks the controls in their order; the gauge takes no focus.
  const std::vector<QWidget*> order = {Control<QListWidget>(*form, "libraryList"),
                                       Control<QPushButton>(*form, "addButton"),
                                       Control<QPushButton>(*form, "insertButton"),
                                       Control<QPushButton>(*form, "removeButton"),
                                       Control<QPushButton>(*form, "compileButton"),
                                       Control<QPushButton>(*form, "selectFolderButton"),
                                       Control<QPushButton>(*form, "clearButton"),
                                       Control<FileListBox>(*form, "sessionFileList")};
  std::vector<QWidget*> visited;
  for (std::size_t k = 0; k < order.size(); ++k) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(visited, order);
}

TEST_F(LibraryCompilerWindowTest, DoubleClickOnAFileAddsItOnce) {
  const auto items =
      Control<FileListBox>(*form, "sessionFileList")->findItems("b.svs", Qt::MatchExactly);
  ASSERT_EQ(items.size(), 1);
  // Through the window, as the system delivers it: press, release, press,
  // release, of which Qt makes the double-click.
  QWidget* viewport = Control<FileListBox>(*form, "sessionFileList")->viewport();
  const auto doubleClick = [&](QPoint at) {
    QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, viewport->mapTo(form.get(), at));
  };
  const QPoint onItem =
      Control<FileListBox>(*form, "sessionFileList")->visualItemRect(items.front()).center();
  doubleClick(onItem);
  EXPECT_EQ(libraryNames(), QStringList{"b.svs"});
  EXPECT_EQ(form->SesLibList().Entry(0).NumOfSegs, 2);
  expectGauge(99);
  // Below the last file there is nothing to add.
  doubleClick(QPoint(onItem.x(), viewport->height() - 4));
  EXPECT_EQ(libraryNames(), QStringList{"b.svs"});
}

TEST_F(LibraryCompilerWindowTest, TheLibraryListScrollsToEachNewEntry) {
  const auto shown = [this](int row) {
    const QListWidget* list = Control<QListWidget>(*form, "libraryList");
    return list->viewport()->rect().contains(list->visualItemRect(list->item(row)));
  };
  for (int k = 0; k < 25; ++k) {
    add(k == 24 ? "b.svs" : "a.svs");
    ASSERT_TRUE(shown(Control<QListWidget>(*form, "libraryList")->count() - 1)) << "entry " << k;
  }
  ASSERT_FALSE(shown(0)) << "the list must be longer than it is high";
  // Inserting before an entry that was scrolled out of sight brings the
  // new entry into view.
  selectEntry(1);
  Control<QListWidget>(*form, "libraryList")
      ->verticalScrollBar()
      ->setValue(Control<QListWidget>(*form, "libraryList")->verticalScrollBar()->maximum());
  ASSERT_FALSE(shown(1));
  selectFile("b.svs");
  click(Control<QPushButton>(*form, "insertButton"));
  EXPECT_EQ(Control<QListWidget>(*form, "libraryList")->item(1)->text(), "b.svs");
  EXPECT_TRUE(shown(1));
}

TEST_F(LibraryCompilerWindowTest, TheFolderOfTheFileListIsNamedInItsTooltip) {
  const QString sessions = QDir::toNativeSeparators(settings.SessionsFolder());
  EXPECT_EQ(Control<FileListBox>(*form, "sessionFileList")->toolTip(), sessions);
  EXPECT_EQ(Control<QLabel>(*form, "sessionsFolderLabel")->toolTip(), sessions);
  std::filesystem::create_directory(folder.path() / "Other");
  dialogs.AnswerPath(settings.ProgramFolder() + "/Other");
  click(Control<QPushButton>(*form, "selectFolderButton"));
  const QString other = QDir::toNativeSeparators(settings.ProgramFolder() + "/Other");
  EXPECT_EQ(Control<FileListBox>(*form, "sessionFileList")->toolTip(), other);
  EXPECT_EQ(Control<QLabel>(*form, "sessionsFolderLabel")->toolTip(), other);
  dialogs.AnswerCancel();
  click(Control<QPushButton>(*form, "selectFolderButton"));
  EXPECT_EQ(Control<FileListBox>(*form, "sessionFileList")->toolTip(), other);
}

TEST_F(LibraryCompilerWindowTest, DialogsAndTheirErrorsOpenOverTheCompiler) {
  add("a.svs");
  dialogs.AnswerPath(settings.ProgramFolder() + "/no such folder/lib.svl");
  click(Control<QPushButton>(*form, "compileButton"));
  dialogs.AnswerCancel();
  click(Control<QPushButton>(*form, "selectFolderButton"));
  ASSERT_EQ(dialogs.Calls().size(), 3u);
  EXPECT_EQ(dialogs.Calls()[1].Dialog, ScriptedDialogs::Kind::Message);
  for (const ScriptedDialogs::Call& call : dialogs.Calls()) EXPECT_EQ(call.Window, form.get());
}

// The real folder browser behind Select: it has a caption, opens over the
// compiler and offers no box to type a name into.
TEST_F(LibraryCompilerWindowTest, FolderBrowserHasACaptionAndNoNameBox) {
  std::filesystem::create_directory(folder.path() / "Other");
  folder.write("Other/c.svs", test::DefaultSession(1));
  QtDialogs qtDialogs;
  LibraryCompilerWindow window(settings, qtDialogs);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QString title;
  QWidget* parent = nullptr;
  QStringList visibleEdits;
  bool seen = false;
  QTimer::singleShot(0, &window, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    seen = true;
    title = dialog->windowTitle();
    parent = dialog->parentWidget();
    for (const QLineEdit* edit : dialog->findChildren<QLineEdit*>())
      if (edit->isVisible()) visibleEdits << edit->objectName();
    dialog->setDirectory(settings.ProgramFolder() + "/Other");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  // Whatever stays open (the browser not found, a message box of its own)
  // is closed, so that the test fails instead of waiting for ever.
  int leftOpen = 0;
  QTimer watchdog;
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      ++leftOpen;
      modal->close();
    }
  });
  watchdog.start(2000);
  Control<QPushButton>(window, "selectFolderButton")->click();
  watchdog.stop();
  ASSERT_TRUE(seen) << "no folder browser opened";
  EXPECT_EQ(leftOpen, 0);
  EXPECT_EQ(title, "Select the sessions folder");
  EXPECT_EQ(parent, &window);
  EXPECT_TRUE(visibleEdits.isEmpty()) << visibleEdits.join(", ").toStdString();
  EXPECT_EQ(Control<FileListBox>(window, "sessionFileList")->Directory(),
            settings.ProgramFolder() + "/Other");
  EXPECT_EQ(Control<FileListBox>(window, "sessionFileList")->count(), 1);
}

}  // namespace
}  // namespace ovrel
