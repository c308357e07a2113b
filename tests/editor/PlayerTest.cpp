// Playing a session as a user does: through a real sound server (a private
// PulseAudio with a null sink), from the timeline window's controls, with
// the playhead and the grid following the sound; without a sound server or
// without the sound output library, a line that says so; the volume and
// the beat as the user left them.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "editor/EditorFixture.h"
#include "editor/TimelineWindow.h"
#include "support/PulseServer.h"

namespace ovrel {
namespace {

class PlayerWindowTest : public EditorTest {
 protected:
  void SetUp() override {
    // The sound output library of this build (the program finds it beside
    // itself; the tests live elsewhere).
    qputenv("OVREL_SOUND_OUTPUT", library_);
    EditorTest::SetUp();
    // Three segments of 15 seconds.
    makeSession(3);
    for (int k = 1; k <= 3; ++k) st().Ses[k].Time = 1;
    form_->RefreshAll(2);
    timeline_ = form_->ShowTimeline();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(timeline_));
  }
  QPushButton* play() const { return Control<QPushButton>(*timeline_, "playButton"); }
  QString status() const { return Control<QLabel>(*timeline_, "playerStatusText")->text(); }
  double playhead() const {
    return Control<TimelineView>(*timeline_, "timelineView")->Plot().Playhead();
  }

  TimelineWindow* timeline_ = nullptr;
  QByteArray library_ = OVREL_SOUND_OUTPUT_PATH;
};

TEST_F(PlayerWindowTest, PlaysFromTheCurrentSegmentAndTheGridFollowsAnEdit) {
  const test::PulseServer server;
  ASSERT_EQ(server.Error(), "");
  qputenv("PULSE_SERVER", server.Address().toLocal8Bit());
  Control<QSlider>(*timeline_, "volumeSlider")->setValue(50);
  // Recording keeps the sink's blocks short, so it plays from the start.
  ASSERT_TRUE(const_cast<test::PulseServer&>(server).StartRecording());

  play()->click();
  ASSERT_EQ(play()->text(), "Pause") << status().toStdString();
  // The playhead is in the second segment, where it started, and moves
  // at the sound's pace once the null sink takes it (after about two
  // seconds).
  EXPECT_GE(playhead(), 15.0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return playhead() > 15.05; }, 8000))
      << "the playhead never moved";
  const double first = playhead();
  QTest::qWait(500);
  EXPECT_NEAR(playhead(), first + 0.5, 0.2);
  EXPECT_TRUE(status().startsWith("Playing 0:1")) << status().toStdString();
  EXPECT_TRUE(status().endsWith("segment 2")) << status().toStdString();

  // Space on the picture pauses and plays on. The sound fades out once
  // the server has played what it holds, and the playhead stops there.
  TimelineView* view = Control<TimelineView>(*timeline_, "timelineView");
  view->setFocus();
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_EQ(play()->text(), "Play");
  QTest::qWait(600);
  const double paused = playhead();
  QTest::qWait(300);
  EXPECT_NEAR(playhead(), paused, 0.01);
  EXPECT_TRUE(status().startsWith("Paused at")) << status().toStdString();
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_EQ(play()->text(), "Pause");
  QTest::qWait(500);
  EXPECT_GT(playhead(), paused + 0.2);

  // An edit while it plays: the first segment grows to 30 s, so the sound
  // now lies in it, and the grid's cursor moves there.
  ASSERT_EQ(grid()->currentIndex().column(), 1);
  form_->Document().Record([this] { st().Ses[1].Time = 2; });
  form_->RefreshAll(2);
  ASSERT_EQ(cell(1, RowTime), "0:30");
  QTest::qWait(300);
  EXPECT_EQ(grid()->currentIndex().column(), 0);
  EXPECT_TRUE(status().endsWith("segment 1")) << status().toStdString();

  Control<QPushButton>(*timeline_, "stopButton")->click();
  EXPECT_EQ(play()->text(), "Play");
  EXPECT_LT(playhead(), 0);
}

TEST_F(PlayerWindowTest, WithoutASoundServerOrOutputOneLineSaysSoAndTheEditorGoesOn) {
  QTemporaryDir nowhere;
  qputenv("PULSE_SERVER", ("unix:" + nowhere.filePath("none")).toLocal8Bit());
  struct Case {
    QByteArray Library;
    QString Says;
  };
  const Case cases[] = {
      {OVREL_SOUND_OUTPUT_PATH, "No sound output was found: the session cannot be played."},
      {nowhere.filePath("ovrel-sound-output.so").toLocal8Bit(),
       "The sound output could not be loaded: " + nowhere.filePath("ovrel-sound-output.so") +
           " is missing."},
  };
  for (const Case& c : cases) {
    // A window of its own: the library is opened once per player.
    form_.reset();
    library_ = c.Library;
    SetUp();
    qputenv("PULSE_SERVER", ("unix:" + nowhere.filePath("none")).toLocal8Bit());
    play()->click();
    EXPECT_EQ(play()->text(), "Play");
    EXPECT_FALSE(Control<QPushButton>(*timeline_, "stopButton")->isEnabled());
    EXPECT_EQ(status(), c.Says);
    EXPECT_LT(playhead(), 0);
    // Said once, and the editor goes on working.
    play()->click();
    EXPECT_EQ(status(), c.Says);
    key(Qt::Key_Right);
    EXPECT_EQ(grid()->currentIndex().column(), 2);
  }
}

TEST_F(PlayerWindowTest, TheVolumeAndTheBeatAreAsTheUserLeftThem) {
  auto* volume = Control<QSlider>(*timeline_, "volumeSlider");
  auto* beat = Control<QComboBox>(*timeline_, "beatCombo");
  const int firstVolume = volume->value();
  ASSERT_EQ(beat->currentIndex(), 0);
  volume->setValue(firstVolume == 35 ? 36 : 35);
  const int chosen = volume->value();
  beat->setCurrentIndex(1);

  // The next start of the program.
  form_.reset();
  form_ = std::make_unique<SessionEditorWindow>(settings_, dialogs_, [] {});
  ShowForm();
  timeline_ = form_->ShowTimeline();
  EXPECT_EQ(Control<QSlider>(*timeline_, "volumeSlider")->value(), chosen);
  EXPECT_EQ(Control<QComboBox>(*timeline_, "beatCombo")->currentIndex(), 1);

  // And back to the binaural beat, also remembered.
  Control<QComboBox>(*timeline_, "beatCombo")->setCurrentIndex(0);
  form_.reset();
  form_ = std::make_unique<SessionEditorWindow>(settings_, dialogs_, [] {});
  timeline_ = form_->ShowTimeline();
  EXPECT_EQ(Control<QComboBox>(*timeline_, "beatCombo")->currentIndex(), 0);
}

TEST_F(PlayerWindowTest, AStuckSoundServerIsGivenUpOnWithinSeconds) {
  // A socket that takes connections (the system completes them) but never
  // answers, as a sound server that hangs.
  QTemporaryDir dir;
  const std::string path = dir.filePath("native").toStdString();
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  qputenv("PULSE_SERVER", ("unix:" + path).c_str());

  // Given up on after a deadline, not waited for without end.
  play()->click();
  EXPECT_EQ(status(), "The sound server does not answer: the session cannot be played.");
  EXPECT_EQ(play()->text(), "Play");
  ::close(listener);
}

}  // namespace
}  // namespace ovrel
