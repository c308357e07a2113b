// The editor, the library compiler and the single-session merge read
// session files through one reader: lines that one of them used to take
// and another refused are now taken or refused by all three alike.

#include <gtest/gtest.h>

#include "library/LibraryTestFiles.h"
#include "support/SessionReadersAgree.h"

namespace ovrel {
namespace {

struct TrickyLine {
  const char* line;  // a segment line between a valid one and the end
  bool accepted;
};

TEST(SessionReadersAgree, OnTrickySegmentLines) {
  const TrickyLine lines[] = {
      {"256,10,10,100,100,", false},  // stored as 0: the device would see the session end
      {"512,10,10,100,100,", false},
      {"-256,10,10,100,100,", false},
      {"257,10,10,100,100,", true},  // low 8 bits 1
      {"-219,10,10,100,100,", true},
      {"00,10,10,100,100,", false},
      {"+36,+10,10,100,100,", false},
      {" 36,10 ,10,100,100,", false},
      {"36,10,10,100,100 ,", false},
      {"36,10,10,100,\t100,", false},
      {"36,-0,10,100,100,", true},
      {"036,10,10,100,100,", true},
      {"36,10,10,100,100,anything after the fifth comma", true},
      {"36,10,10,100,100", false},
      {"36,1e2,10,100,100,", false},
      {"36,0x10,10,100,100,", false},
      {"36,10,10,100,2147483647,", true},
      {"36,10,10,100,2147483648,", false},
      {"36,10,-2147483648,100,100,", true},
      {"36,-2147483648,10,100,100,", false},  // its pitch passes 32 bits
      {"36,2147483647,10,2147483647,100,", false},  // its pitch passes 32 bits
      {"36,-,10,100,100,", false},
      {"36,,10,100,100,", false},
      {"", false},
      {"#36,10,10,100,100,", true},  // a comment line
  };
  for (const TrickyLine& t : lines) {
    const std::string text = test::SessionText("1,0,", {"36,10,10,100,100,", t.line});
    const test::ReadersVerdict verdict = test::CompareSessionReaders(text);
    EXPECT_EQ(verdict.disagreement, "") << "line \"" << t.line << "\"";
    EXPECT_EQ(verdict.accepted, t.accepted) << "line \"" << t.line << "\"";
  }
}

TEST(SessionReadersAgree, OnTheFileAroundTheSegments) {
  const std::pair<std::string, bool> files[] = {
      {"version=23\n3,45,\n36,1,2,3,4,\n0,\n", true},  // no rule line after the version
      {"version=23\r\n#\r\n+1,0,\r\n0,\r\n", false},
      {"version=23\r\n#\r\n1,0\r\n0,\r\n", false},
      {"version=23\r\n#\r\n", false},
      {"version=23 \r\n1,0,\r\n36,1,2,3,4,\r\n0,\r\n", false},
      {"version=23\r\n1,0,\r\n36,1,2,3,4,\r", false},  // ends before "0,"
      {"version=23\r1,0,\r36,1,2,3,4,\r0,\r", false},    // CR alone ends no line
      {test::SessionText("0,0,", {}), true},  // the editor alone refuses no segments
      {"version=23\r\n#\r\nx,\r\n36,1,2,3,4,\r\n0,\r\n", false},  // the editor alone takes it
  };
  for (const auto& [text, accepted] : files) {
    const test::ReadersVerdict verdict = test::CompareSessionReaders(text);
    EXPECT_EQ(verdict.disagreement, "") << text;
    EXPECT_EQ(verdict.accepted, accepted) << text;
  }
}

}  // namespace
}  // namespace ovrel
