// Playing a session as a user does: through a real sound server (a private
// PulseAudio with a null sink whose monitor is recorded), from the timeline
// window's controls, with the playhead and the grid following the sound;
// and without a sound server, a line that says so.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "editor/EditorFixture.h"
#include "editor/SessionPlayer.h"
#include "editor/TimelineWindow.h"
#include "sound/ToneMeasure.h"
#include "support/PulseServer.h"

namespace ovrel {
namespace {

constexpr int kRate = 44100;

// The frames of a recording that carry sound.
std::size_t FirstSound(const std::vector<int16_t>& s) {
  std::size_t i = 0;
  while (i < s.size() && std::abs(s[i]) < 200) ++i;
  return i / 2;
}

TEST(SessionPlayerTest, TheBeatReachesTheDefaultOutput) {
  const test::PulseServer server;
  ASSERT_EQ(server.Error(), "");
  qputenv("PULSE_SERVER", server.Address().toLocal8Bit());
  Session ses;
  ses.SegCount = 2;
  ses[1] = {1, 1, 4, 4, 100};
  ses[2] = {1, 1, 10, 10, 200};

  SessionPlayer player;
  ASSERT_TRUE(const_cast<test::PulseServer&>(server).StartRecording());
  // From the second segment: no fade-in.
  ASSERT_TRUE(player.Play(ses, 2)) << player.Problem().toStdString();
  EXPECT_EQ(player.CurrentState(), SessionPlayer::State::Playing);
  // A null sink that was idle takes about two seconds before it starts to
  // take a new stream's sound; then a second and a half is played.
  ASSERT_TRUE(QTest::qWaitFor([&player] { return player.PositionSeconds() > 15.05; }, 8000))
      << "nothing was played";
  // The sound moves on at the pace of the clock, measured beside it (a busy
  // machine may stretch the wait).
  const double heardFrom = player.PositionSeconds();
  QElapsedTimer played;
  played.start();
  QTest::qWait(1600);
  EXPECT_EQ(player.SegmentHeard(), 2);
  EXPECT_NEAR(player.PositionSeconds() - heardFrom, played.elapsed() / 1000.0, 0.3);
  // Cut to its first segment, the session has been played to its end: the
  // player stops by itself.
  Session cut = ses;
  cut.SegCount = 1;
  player.UpdateSession(cut);
  EXPECT_TRUE(QTest::qWaitFor(
      [&player] { return player.CurrentState() == SessionPlayer::State::Stopped; }, 2000));
  const std::vector<int16_t> heard = const_cast<test::PulseServer&>(server).StopRecording();

  const std::size_t start = FirstSound(heard);
  ASSERT_GE(heard.size() / 2, start + kRate + kRate / 4) << "too little was heard";
  const std::size_t from = start + kRate / 4;
  const double left = test::MeasureTone(heard, 0, from, kRate, kRate, 205.6);
  const double right = test::MeasureTone(heard, 1, from, kRate, kRate, 194.4);
  EXPECT_NEAR(left, 205, 0.1);
  EXPECT_NEAR(right, 195, 0.1);
  EXPECT_NEAR(left - right, 10, 0.1);
}

class PlayerWindowTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    // Three segments of 15 seconds.
    makeSession(3);
    for (int k = 1; k <= 3; ++k) st().Ses[k].Time = 1;
    form_->RefreshAll(2);
    timeline_ = form_->ShowTimeline();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(timeline_));
  }
  QPushButton* play() const { return Control<QPushButton>(*timeline_, "playButton"); }
  QString status() const {
    return Control<QLabel>(*timeline_, "playerStatusText")->text();
  }
  double playhead() const {
    return Control<TimelineView>(*timeline_, "timelineView")->Plot().Playhead();
  }

  TimelineWindow* timeline_ = nullptr;
};

TEST_F(PlayerWindowTest, PlaysFromTheCurrentSegmentAndTheGridFollowsAnEdit) {
  const test::PulseServer server;
  ASSERT_EQ(server.Error(), "");
  qputenv("PULSE_SERVER", server.Address().toLocal8Bit());
  Control<QSlider>(*timeline_, "volumeSlider")->setValue(50);

  play()->click();
  ASSERT_EQ(play()->text(), "Pause") << status().toStdString();
  // The playhead is in the second segment, where it started, and moves
  // at the sound's pace once the null sink takes it (after about two
  // seconds).
  EXPECT_GE(playhead(), 15.0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return playhead() > 15.05; }, 8000))
      << "the playhead never moved";
  const double first = playhead();
  QElapsedTimer played;
  played.start();
  QTest::qWait(500);
  EXPECT_NEAR(playhead() - first, played.elapsed() / 1000.0, 0.2);
  EXPECT_TRUE(status().startsWith("Playing 0:1")) << status().toStdString();
  EXPECT_TRUE(status().endsWith("segment 2")) << status().toStdString();

  // Space on the picture pauses and plays on.
  TimelineView* view = Control<TimelineView>(*timeline_, "timelineView");
  view->setFocus();
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_EQ(play()->text(), "Play");
  const double paused = playhead();
  QTest::qWait(500);
  EXPECT_NEAR(playhead(), paused, 0.05);
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

TEST_F(PlayerWindowTest, WithoutASoundServerOneLineSaysSoAndNothingHangs) {
  QTemporaryDir nowhere;
  qputenv("PULSE_SERVER", ("unix:" + nowhere.filePath("none")).toLocal8Bit());
  play()->click();
  EXPECT_EQ(play()->text(), "Play");
  EXPECT_FALSE(Control<QPushButton>(*timeline_, "stopButton")->isEnabled());
  EXPECT_EQ(status(), "No sound output was found: the session cannot be played.");
  EXPECT_LT(playhead(), 0);
  // The editor goes on working.
  key(Qt::Key_Right);
  EXPECT_EQ(grid()->currentIndex().column(), 2);
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

  play()->click();  // returns only once the server's silence has been given up on
  EXPECT_EQ(status(), "The sound server does not answer: the session cannot be played.");
  EXPECT_EQ(play()->text(), "Play");
  ::close(listener);
}

}  // namespace
}  // namespace ovrel
