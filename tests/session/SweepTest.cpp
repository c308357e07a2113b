#include <gtest/gtest.h>

#include "session/Sweep.h"

namespace ovrel {
namespace {

// A segment as "time mode from>to pitch", e.g. "20 IN 14>12 192".
std::string Text(const Segment& s) {
  return std::to_string(s.Time) + " " + ModeText(s.Mode) + " " + std::to_string(s.FreqStart) +
         ">" + std::to_string(s.FreqEnd) + " " + std::to_string(s.Pitch);
}

std::vector<std::string> Texts(const SweepResult& r) {
  std::vector<std::string> t;
  for (const Segment& s : r.Segments) t.push_back(Text(s));
  return t;
}

std::vector<SweepField> Fields(const SweepResult& r) {
  std::vector<SweepField> f;
  for (const SweepProblem& p : r.Problems) f.push_back(p.Field);
  return f;
}

TEST(Sweep, CutsTheLineIntoTheFewestEvenSegmentsRoundingHalvesAwayFromZero) {
  struct Case {
    const char* what;
    SweepInput input;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"falling, pitch line at the middles",
       {"14", "4", "30", "200:100"},
       {"20 IN 14>12 192", "20 IN 12>11 175", "20 IN 11>9 158", "20 IN 9>7 142", "20 IN 7>6 125",
        "20 IN 6>4 108"}},
      {"rising, exact division, boundaries at 6.5 and 11.5",
       {"4", "14", "23", "100", "sl"},
       {"23 SL 4>7 100", "23 SL 7>9 100", "23 SL 9>12 100", "23 SL 12>14 100"}},
      {"remainder shared out, longer first",
       {"8", "12", "12:30", "100:200", "LA"},
       {"17 LA 8>9 117", "17 LA 9>11 151", "16 LA 11>12 184"}},
      {"steady", {"10", "10", "6:00", "250"}, {"12 IN 10>10 250", "12 IN 10>10 250"}},
      {"falling boundary at 2.5", {"3", "2", "11:30"}, {"23 IN 3>3 100", "23 IN 3>2 100"}},
      {"rising boundary at 2.5", {"2", "3", "11:30"}, {"23 IN 2>3 100", "23 IN 3>3 100"}},
      {"one unit, falling pitch at 100.5", {"48", "1", "0:15", "101:100"}, {"1 IN 48>1 101"}},
      {"one unit, rising pitch at 100.5", {"1", "48", "0:15", "100:101", "lr"}, {"1 LR 1>48 101"}},
      {"one full segment at the limits", {"1", "48", "5:45", "48:400"}, {"23 IN 1>48 224"}},
      {"one unit over a segment", {"1", "3", "6:00"}, {"12 IN 1>2 100", "12 IN 2>3 100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SweepResult r = MakeSweep(c.input);
    EXPECT_EQ(Texts(r), c.expected);
    EXPECT_EQ(r.Ok(), !c.expected.empty());
  }
  EXPECT_EQ(MakeSweep({"14", "4", "30"}).TotalSeconds(), 30 * 60);
  // The numbers give what their texts give.
  EXPECT_EQ(Texts(MakeSweep(SweepParameters{14, 4, 120, 200, 100, 1})), Texts(MakeSweep(cases[0].input)));
}

TEST(Sweep, TheLongestSweepFillsThreeHundredEightySegmentsAndNoMore) {
  const SweepResult r = MakeSweep(SweepInput{"1", "48", "2185"});
  ASSERT_EQ(r.Segments.size(), 380u);
  EXPECT_EQ(r.Segments.front().FreqStart, 1);
  EXPECT_EQ(r.Segments.back().FreqEnd, 48);
  for (size_t k = 0; k < r.Segments.size(); ++k) {
    EXPECT_EQ(r.Segments[k].Time, 23);
    if (k > 0) {
      EXPECT_EQ(r.Segments[k].FreqStart, r.Segments[k - 1].FreqEnd) << k;
    }
  }
  const SweepResult over = MakeSweep(SweepInput{"1", "48", "2185:15"});
  EXPECT_TRUE(over.Segments.empty());
  EXPECT_EQ(Fields(over), std::vector<SweepField>{SweepField::Length});
  EXPECT_NE(over.Reason(SweepField::Length).find("380"), std::string::npos);

  // In a session that already holds segments, only the room left counts.
  EXPECT_EQ(MakeSweep(SweepInput{"10", "10", "11:30"}, 2).Segments.size(), 2u);
  const SweepResult noRoom = MakeSweep(SweepInput{"10", "10", "11:30"}, 1);
  EXPECT_EQ(Fields(noRoom), std::vector<SweepField>{SweepField::Length});
  EXPECT_NE(noRoom.Reason(SweepField::Length).find("room for 1 more"), std::string::npos);
}

TEST(Sweep, RefusesEveryFaultyFieldWithItsReason) {
  struct Case {
    SweepInput input;
    std::vector<SweepField> faulty;
  };
  using F = SweepField;
  const std::vector<Case> cases = {
      {{"0", "49", "10"}, {F::From, F::To}},
      {{"12.5", "", "10"}, {F::From, F::To}},
      {{" 12", "4x", "10"}, {F::From, F::To}},
      {{"10", "10", "0"}, {F::Length}},
      {{"10", "10", "1:10"}, {F::Length}},
      {{"10", "10", "1:5"}, {F::Length}},
      {{"10", "10", "5:60"}, {F::Length}},
      {{"10", "10", "-1"}, {F::Length}},
      {{"10", "10", "ten"}, {F::Length}},
      {{"10", "10", "99999999999999999999"}, {F::Length}},
      {{"10", "10", "10", "47"}, {F::Pitch}},
      {{"10", "10", "10", "200:401"}, {F::Pitch}},
      {{"10", "10", "10", "200:"}, {F::Pitch}},
      {{"10", "10", "10", "1:2:3"}, {F::Pitch}},
      {{"10", "10", "10", "100", "XX"}, {F::Mode}},
      {{"10", "10", "10", "100", ""}, {F::Mode}},
      {{"x", "10", "0:07", "abc", "IN "}, {F::From, F::Length, F::Pitch, F::Mode}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.From + "|" + c.input.To + "|" + c.input.Length + "|" + c.input.Pitch +
                 "|" + c.input.Mode);
    const SweepResult r = MakeSweep(c.input);
    EXPECT_EQ(Fields(r), c.faulty);
    EXPECT_TRUE(r.Segments.empty());
    for (const SweepProblem& p : r.Problems) EXPECT_FALSE(p.Reason.empty());
  }
  EXPECT_EQ(Fields(MakeSweep(SweepParameters{10, 10, 4, 100, 100, 7})), std::vector<F>{F::Mode});
}

TEST(Sweep, InsertsBeforeTheCursorAndRefusesWhatDoesNotFit) {
  Session ses;
  ses.SegCount = 2;
  ses[1].Pitch = 101;
  ses[2].Pitch = 102;
  const std::vector<Segment> segs = MakeSweep(SweepInput{"14", "4", "30"}).Segments;
  SegOpResult r = InsertSegments(ses, 2, segs);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->Modifies);
  ASSERT_EQ(ses.SegCount, 8);
  EXPECT_EQ(ses[1].Pitch, 101);
  EXPECT_EQ(Text(ses[2]), "20 IN 14>12 100");
  EXPECT_EQ(Text(ses[7]), "20 IN 6>4 100");
  EXPECT_EQ(ses[8].Pitch, 102);
  EXPECT_EQ(r->Cursor, 2);

  ses.SegCount = 375;
  r = InsertSegments(ses, 1, segs);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Kind(), Fault::TooMany);
  EXPECT_EQ(ses.SegCount, 375);
}

}  // namespace
}  // namespace ovrel
