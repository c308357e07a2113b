// The sessions shipped with the program are what users copy first: each one
// must open in the editor and keep every parameter within its range.

#include <gtest/gtest.h>

#include <filesystem>

#include "format/SessionFile.h"

namespace ovrel {
namespace {

TEST(ExampleSessions, EveryShippedSessionOpensWithEveryParameterInRange) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(OVREL_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".svs") continue;
    const std::string name = entry.path().filename().string();
    const SessionReadResult read = ReadSessionFile(entry.path().string());
    ASSERT_TRUE(read) << read.Error();
    const Session& ses = *read;
    for (int32_t k = 1; k <= ses.SegCount; ++k) {
      const Segment& s = ses[k];
      const std::string where = name + " segment " + std::to_string(k);
      EXPECT_TRUE(s.Time >= 1 && s.Time <= 23) << where << " time " << s.Time;
      EXPECT_TRUE(s.Mode >= 0 && s.Mode <= 6) << where << " mode " << s.Mode;
      EXPECT_TRUE(s.FreqStart >= 1 && s.FreqStart <= 48) << where << " start " << s.FreqStart;
      EXPECT_TRUE(s.FreqEnd >= 1 && s.FreqEnd <= 48) << where << " end " << s.FreqEnd;
      EXPECT_TRUE(s.Pitch >= 48 && s.Pitch <= 400) << where << " pitch " << s.Pitch;
    }
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

}  // namespace
}  // namespace ovrel
