// Every window that remembers its place reopens exactly where it was left,
// start after start, under a window manager that frames it (run on a
// private X server with openbox, see tests/support/under-openbox.sh).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "compiler/LibraryCompilerWindow.h"
#include "device/jobs/DeviceService.h"
#include "editor/SessionEditorWindow.h"
#include "editor/TimelineWindow.h"
#include "ui/ScriptedDialogs.h"
#include "ui/UserSettings.h"

namespace ovrel {
namespace {

// One start of the program as far as one window is concerned: made, shown,
// and the shown window (the one placed) returned.
using Start = std::function<QWidget*()>;

class WindowPlace : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under tests/support/under-openbox.sh";
    ASSERT_TRUE(tmp_.isValid());
    qputenv("OVREL_PORTS", "");
    UserSettings().Clear();
    folders_.SetProgramFolders(tmp_.path(), tmp_.path());
  }

  // The frame's place once the window manager has framed the window. The
  // platform window reads the frame from the window manager when asked; the
  // widget's own copy of it waits for the window's next move, which a busy
  // machine may deliver before the frame is known and never again.
  static QPoint FramedAt(QWidget& window) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QWindow* handle = window.windowHandle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !handle->frameMargins().isNull(); }, 60000))
        << "no window manager framed the window";
    // The window manager may still move the frame into its place.
    QPoint at = handle->framePosition();
    for (int look = 0; look < 10; ++look) {
      QTest::qWait(50);
      if (handle->framePosition() != at) look = 0;
      at = handle->framePosition();
    }
    return at;
  }

  // Five starts: each finds the window where the one before left it.
  void ExpectKeptOverStarts(const Start& start, std::unique_ptr<QObject>& owner) {
    std::vector<QPoint> places;
    for (int run = 0; run < 5; ++run) {
      QWidget* window = start();
      places.push_back(FramedAt(*window));
      window->close();  // kept where it is now
      owner.reset();    // the program ends
    }
    for (std::size_t run = 1; run < places.size(); ++run)
      EXPECT_EQ(places[run], places[0]) << "start " << run + 1 << " moved the window";
  }

  QTemporaryDir tmp_;
  FolderSettings folders_;
  ScriptedDialogs dialogs_;
};

TEST_F(WindowPlace, TheEditorAndItsTimelineReopenWhereTheyWereLeft) {
  std::unique_ptr<QObject> owner;
  const auto editor = [&] {
    auto* e = new SessionEditorWindow(folders_, dialogs_, [] {});
    owner.reset(e);
    e->show();
    return static_cast<QWidget*>(e);
  };
  ExpectKeptOverStarts(editor, owner);
  const auto timeline = [&] {
    auto* e = new SessionEditorWindow(folders_, dialogs_, [] {});
    owner.reset(e);
    e->show();
    FramedAt(*e);
    return static_cast<QWidget*>(e->ShowTimeline());
  };
  ExpectKeptOverStarts(timeline, owner);
}

TEST_F(WindowPlace, TheCompilerAndTheMainWindowReopenWhereTheyWereLeft) {
  std::unique_ptr<QObject> owner;
  const auto compiler = [&] {
    auto* c = new LibraryCompilerWindow(folders_, dialogs_);
    owner.reset(c);
    c->show();
    return static_cast<QWidget*>(c);
  };
  ExpectKeptOverStarts(compiler, owner);
  DeviceService device;
  const auto main = [&] {
    MainWindowOptions options;
    options.ProgramFile = tmp_.path() + QStringLiteral("/ovrelware");
    auto* m = new MainWindow(dialogs_, device, options);
    owner.reset(m);
    m->ShowInFront();
    return static_cast<QWidget*>(m);
  };
  ExpectKeptOverStarts(main, owner);
}

}  // namespace
}  // namespace ovrel
