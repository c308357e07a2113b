// The program loads nothing of the sound server until a session is first
// played: the editor and its timeline window open without it, and the
// first Play opens the sound output library, which brings the server's
// client along. A process of its own, so that no other test has played.

#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "editor/EditorFixture.h"
#include "editor/TimelineWindow.h"

namespace ovrel {
namespace {

// Whether a shared object whose path contains name is mapped into this
// process.
bool Loaded(const char* name) {
  QFile maps(QStringLiteral("/proc/self/maps"));
  return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

class PlayerLoadTest : public EditorTest {};

TEST_F(PlayerLoadTest, TheSoundServerClientIsLoadedAtTheFirstPlayNotBefore) {
  qputenv("OVREL_SOUND_OUTPUT", OVREL_SOUND_OUTPUT_PATH);
  QTemporaryDir nowhere;
  qputenv("PULSE_SERVER", ("unix:" + nowhere.filePath("none")).toLocal8Bit());
  makeSession(2);
  TimelineWindow* timeline = form_->ShowTimeline();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(timeline));
  EXPECT_FALSE(Loaded("libpulse"));
  EXPECT_FALSE(Loaded("ovrel-sound-output"));

  Control<QPushButton>(*timeline, "playButton")->click();
  EXPECT_EQ(Control<QLabel>(*timeline, "playerStatusText")->text(),
            "No sound output was found: the session cannot be played.");
  EXPECT_TRUE(Loaded("ovrel-sound-output"));
  EXPECT_TRUE(Loaded("libpulse"));
}

}  // namespace
}  // namespace ovrel
