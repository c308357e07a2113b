#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include "editor/RepeatButton.h"

namespace ovrel {
namespace {

class RepeatButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    button_.resize(75, 25);
    button_.show();
    QObject::connect(&button_, &QPushButton::clicked,
                     [this] { clicks_.push_back(clock_.elapsed()); });
  }
  void press() {
    clock_.start();
    QTest::mousePress(&button_, Qt::LeftButton);
  }
  void release() { QTest::mouseRelease(&button_, Qt::LeftButton); }

  RepeatButton button_{"Value +  Q"};
  QElapsedTimer clock_;
  std::vector<qint64> clicks_;
};

TEST_F(RepeatButtonTest, ShortClickStepsOnce) {
  EXPECT_EQ(button_.InitRepeatPause, 250);
  EXPECT_EQ(button_.RepeatPause, 75);
  press();
  QCoreApplication::processEvents();  // released before the first repeat, however busy the machine
  release();
  EXPECT_EQ(clicks_.size(), 1u);
  EXPECT_FALSE(button_.RepeatTimer().isActive());
  QTest::qWait(300);  // no repeat after the release
  EXPECT_EQ(clicks_.size(), 1u);
}

TEST_F(RepeatButtonTest, HeldButtonRepeatsAfter250ThenEvery75AndOnceOnRelease) {
  press();
  EXPECT_TRUE(button_.RepeatTimer().isActive());
  EXPECT_EQ(button_.RepeatTimer().interval(), 250);
  // Wait for the first repeat and three more.
  ASSERT_TRUE(QTest::qWaitFor([this] { return clicks_.size() >= 4; }, 60000));
  EXPECT_EQ(button_.RepeatTimer().interval(), 75);
  release();
  const size_t held = clicks_.size() - 1;  // the last click came with the release
  EXPECT_GE(clicks_[0], 250);
  for (size_t i = 1; i < held; ++i) EXPECT_GE(clicks_[i] - clicks_[i - 1], 74) << i;
  // Timers never fire early, and the release added exactly one click.
  EXPECT_LE(static_cast<qint64>(held), 1 + (clock_.elapsed() - 250) / 75);
  EXPECT_FALSE(button_.RepeatTimer().isActive());
  const size_t after = clicks_.size();
  QTest::qWait(200);
  EXPECT_EQ(clicks_.size(), after);
}

TEST_F(RepeatButtonTest, NextPressStartsAgainWithTheLongPause) {
  press();
  for (int i = 0; i < 100 && clicks_.size() < 2; ++i) QTest::qWait(10);
  release();
  clicks_.clear();
  press();
  EXPECT_EQ(button_.RepeatTimer().interval(), 250);
  release();
  EXPECT_EQ(clicks_.size(), 1u);
}

}  // namespace
}  // namespace ovrel
