// The default error display: the full-stop rule, the guard around handlers
// and the start-up error box.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ui/ErrorDisplay.h"
#include "ui/ScriptedDialogs.h"

namespace ovrel {
namespace {

struct EFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

TEST(ErrorDisplay, FullStopAddedOnlyAfterCharactersSortingAfterTheFullStop) {
  EXPECT_EQ(WithFullStop(QStringLiteral("File not found")), QStringLiteral("File not found."));
  EXPECT_EQ(WithFullStop(QStringLiteral("Done.")), QStringLiteral("Done."));
  // "!", ")", "-" and a space sort before "."; "/", digits and letters after.
  EXPECT_EQ(WithFullStop(QStringLiteral("Stop!")), QStringLiteral("Stop!"));
  EXPECT_EQ(WithFullStop(QStringLiteral("(code 5)")), QStringLiteral("(code 5)"));
  EXPECT_EQ(WithFullStop(QStringLiteral("a -")), QStringLiteral("a -"));
  EXPECT_EQ(WithFullStop(QStringLiteral("trailing ")), QStringLiteral("trailing "));
  EXPECT_EQ(WithFullStop(QStringLiteral("/dev/ttyUSB0/")), QStringLiteral("/dev/ttyUSB0/."));
  EXPECT_EQ(WithFullStop(QStringLiteral("error code: 13")), QStringLiteral("error code: 13."));
  EXPECT_EQ(WithFullStop(QStringLiteral("Überlauf ä")), QStringLiteral("Überlauf ä."));
  EXPECT_EQ(WithFullStop(QString()), QString());
}

TEST(ErrorDisplay, GuardShowsWhatTheHandlerThrowsAndStopsIt) {
  ScriptedDialogs dialogs;
  bool after = false;
  RunGuarded(dialogs, [&] {
    throw EFileError("Unable to open com port (error code: 2)");
    after = true;
  });
  EXPECT_FALSE(after);
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  const MessageRequest& box = dialogs.Calls()[0].Message;
  EXPECT_EQ(box.Caption, QStringLiteral("Sorvani Ovrel"));
  EXPECT_EQ(box.Text, QStringLiteral("Unable to open com port (error code: 2)"));
  EXPECT_EQ(box.Icon, MsgIcon::Error);
  EXPECT_EQ(box.Buttons, MsgButtons::Ok);

  dialogs.Clear();
  RunGuarded(dialogs, [] { throw std::out_of_range("Index out of range"); });
  EXPECT_EQ(dialogs.MessageTexts(), QStringList{QStringLiteral("Index out of range.")});

  dialogs.Clear();
  RunGuarded(dialogs, [] { throw 42; });
  EXPECT_EQ(dialogs.MessageTexts(), QStringList{QStringLiteral("Unknown error.")});
}

TEST(ErrorDisplay, GuardIsSilentWhenTheHandlerSucceeds) {
  ScriptedDialogs dialogs;
  int runs = 0;
  RunGuarded(dialogs, [&] { ++runs; });
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(dialogs.Calls().empty());
}

TEST(ErrorDisplay, StartupErrorNamesTheKindOfTheError) {
  ScriptedDialogs dialogs;
  try {
    throw EFileError("Registry error (error code: 2)");
  } catch (...) {
    ShowApplicationError(dialogs, std::current_exception());
  }
  ASSERT_EQ(dialogs.Calls().size(), 1u);
  const MessageRequest& box = dialogs.Calls()[0].Message;
  EXPECT_EQ(box.Caption, QStringLiteral("Application Error"));
  EXPECT_EQ(box.Text, QStringLiteral("EFileError: Registry error (error code: 2)"));
  EXPECT_EQ(box.Icon, MsgIcon::Error);
  EXPECT_EQ(ErrorKind(std::logic_error("x")), QStringLiteral("logic_error"));
}

}  // namespace
}  // namespace ovrel
