// Reading a session file for the merge, checking a downloaded image, and
// appending the session to it.

#include <gtest/gtest.h>

#include <vector>

#include "library/LibraryImage.h"
#include "library/SessionScan.h"

namespace ovrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Image = std::array<std::uint8_t, SesMemSize>;

const char* const kOneSegment =
    "[Sorvani session]\r\nversion=23\r\n# length\r\n1,0,\r\n36,10,10,100,100,\r\n0,\r\n";

SessionRecord Read(const std::string& text) {
  SessionRecordRead r = ReadSessionRecord(text, "s.svs");
  EXPECT_TRUE(r) << r.Error();
  return r ? *r : SessionRecord{};
}

// The line a refusal names, or its whole text when it names none.
std::string RefusedLine(const std::string& text) {
  SessionRecordRead r = ReadSessionRecord(text, "s.svs");
  if (r) return "(read)";
  EXPECT_EQ(r.Kind(), Fault::Syntax) << r.Error();
  const std::string& why = r.Error();
  const std::size_t colon = why.find(": ");
  return colon == std::string::npos ? why : why.substr(0, colon);
}

Image ImageOf(const Bytes& lib) {
  Image img{};
  std::copy(lib.begin(), lib.end(), img.begin());
  return img;
}

Bytes Used(const Image& img, int l) {
  return Bytes(img.begin(), img.begin() + l + 1);
}

TEST(MergeTest, TheTwoWorkedMerges) {
  const SessionRecord s = Read(kOneSegment);
  Image img = ImageOf({0x17, 0x00, 0x00, 0x04, 0x13});
  ASSERT_FALSE(CheckLibraryImage(img).has_value());
  AppendOutcome out = AppendSession(img, s);
  ASSERT_TRUE(out.Fits);
  EXPECT_EQ(Used(img, out.L), (Bytes{0x17, 0x01, 0x00, 0x0E, 0x00, 0x06, 0x01, 0x00, 0x24, 0x0A,
                                     0x0A, 0x64, 0x64, 0x00, 0x3B}));
  EXPECT_EQ(out.LibCS, 0x3B);

  ASSERT_FALSE(CheckLibraryImage(img).has_value());
  out = AppendSession(img, s);
  ASSERT_TRUE(out.Fits);
  EXPECT_EQ(Used(img, out.L),
            (Bytes{0x17, 0x02, 0x00, 0x18, 0x00, 0x08, 0x00, 0x10, 0x01, 0x00, 0x24, 0x0A, 0x0A,
                   0x64, 0x64, 0x00, 0x01, 0x00, 0x24, 0x0A, 0x0A, 0x64, 0x64, 0x00, 0x15}));
  EXPECT_EQ(out.LibCS, 0x15);
  EXPECT_FALSE(CheckLibraryImage(img).has_value());
}

// The line rules are the session reader's (tested with it); the merge keeps
// each number's low 8 bits.
TEST(MergeTest, NumbersAreStoredAsTheirLowBytes) {
  const SessionRecord s = Read(
      "junk\nversion=23\n#c\n300,-1,extra,\n#between\n36,10,10,100,100,ignored,\n"
      "-219,139,266,1,-2,\n0,\nafter\n");
  EXPECT_EQ(s.Minutes, 300 & 0xFF);
  EXPECT_EQ(s.Seconds, 0xFF);
  ASSERT_EQ(s.Segments.size(), 2u);
  EXPECT_EQ(s.Segments[0], (std::array<std::uint8_t, 5>{36, 10, 10, 100, 100}));
  EXPECT_EQ(s.Segments[1], (std::array<std::uint8_t, 5>{37, 139, 10, 1, 254}));
  EXPECT_TRUE(Read("version=23\n0,0,\n0,\n").Segments.empty());
}

TEST(MergeTest, LinesTheDeviceWouldMisreadAreRefused) {
  // 256 would be stored as 0, which the device reads as the session's end.
  EXPECT_EQ(RefusedLine("version=23\n1,0,\n256,10,10,100,100,\n0,\n"), "s.svs, line 3");
  EXPECT_EQ(RefusedLine("version=23\n1,0,\n+36,10,10,100,100,\n0,\n"), "s.svs, line 3");
  EXPECT_EQ(RefusedLine("version=23\n1,0,\n36,10 ,10,100,100,\n0,\n"), "s.svs, line 3");
  // The session's length comes from the total time line: without its two
  // numbers there is nothing to store.
  EXPECT_EQ(RefusedLine("version=23\n1\n36,10,10,100,100,\n0,\n"), "s.svs, line 2");
}

TEST(MergeTest, InvalidImagesAreRefused) {
  Image blank{};
  EXPECT_EQ(CheckLibraryImage(blank).value_or(""), "its version byte is 0, not 23");

  Image img = ImageOf(
      {0x17, 0x01, 0x00, 0x0E, 0x00, 0x06, 0x01, 0x00, 0x24, 0x0A, 0x0A, 0x64, 0x64, 0x00, 0x3B});
  ASSERT_FALSE(CheckLibraryImage(img).has_value());

  Image shortL = img;
  shortL[3] = 5;  // below 4 + 2N
  EXPECT_NE(CheckLibraryImage(shortL).value_or("").find("checksum offset 5"), std::string::npos);
  Image longL = img;
  longL[2] = 0x07;
  longL[3] = 0xFA;  // 2042
  EXPECT_NE(CheckLibraryImage(longL).value_or("").find("2042"), std::string::npos);

  Image badEntry = img;
  badEntry[5] = 0x0E;  // at L: outside the session data
  EXPECT_NE(CheckLibraryImage(badEntry).value_or("").find("session 1"), std::string::npos);

  Image badSum = img;
  badSum[9] ^= 0x01;  // a byte changed on the line
  EXPECT_EQ(CheckLibraryImage(badSum).value_or(""), "its checksum does not match its contents");
}

TEST(MergeTest, MemoryLimit) {
  // One session of 404 segments: L = 9 + 5 * 404 = 2029.
  SessionRecord big;
  big.Segments.assign(404, {36, 10, 10, 100, 100});
  Image img = ImageOf({0x17, 0x00, 0x00, 0x04, 0x13});
  AppendOutcome out = AppendSession(img, big);
  ASSERT_TRUE(out.Fits);
  ASSERT_EQ(out.L, 2029);
  ASSERT_FALSE(CheckLibraryImage(img).has_value());

  // Two more segments would put the end byte at 2043: refused, image untouched.
  SessionRecord two;
  two.Segments.assign(2, {36, 10, 10, 100, 100});
  const Image before = img;
  EXPECT_FALSE(AppendSession(img, two).Fits);
  EXPECT_EQ(img, before);

  // One segment ends at 2038 and the checksum at 2039.
  SessionRecord one;
  one.Segments.assign(1, {36, 10, 10, 100, 100});
  out = AppendSession(img, one);
  ASSERT_TRUE(out.Fits);
  EXPECT_EQ(out.L, 2039);
  EXPECT_EQ(img[2038], 0);
  EXPECT_FALSE(CheckLibraryImage(img).has_value());

  // A full library (L = 2041): a session with a segment line is refused,
  // a session without one is added, its checksum landing at 2046, inside
  // the image.
  Image edge = ImageOf({0x17, 0x00, 0x07, 0xF9});
  edge[2041] = LibChecksum(std::span(edge).first(2041));
  ASSERT_FALSE(CheckLibraryImage(edge).has_value());
  EXPECT_FALSE(AppendSession(edge, one).Fits);
  SessionRecord empty;
  empty.Minutes = 2;
  out = AppendSession(edge, empty);
  ASSERT_TRUE(out.Fits);
  EXPECT_EQ(out.L, 2046);
  EXPECT_EQ(edge[1], 1);
  EXPECT_EQ(Bytes(edge.begin() + 2043, edge.begin() + 2046), (Bytes{2, 0, 0}));
  EXPECT_EQ(edge[2046], LibChecksum(std::span(edge).first(2046)));
}

// A library of `count` sessions, each without segment lines.
Image LibraryOfEmptySessions(int count) {
  Image img{};
  img[0] = 0x17;
  img[1] = static_cast<std::uint8_t>(count);
  int p = 4 + 2 * count;
  for (int k = 0; k < count; ++k) {
    img[4 + 2 * k] = static_cast<std::uint8_t>(p >> 8);
    img[5 + 2 * k] = static_cast<std::uint8_t>(p);
    p += 3;  // minutes, seconds, end byte
  }
  img[2] = static_cast<std::uint8_t>(p >> 8);
  img[3] = static_cast<std::uint8_t>(p);
  img[p] = LibChecksum(std::span(img).first(p));
  return img;
}

TEST(MergeTest, SessionCountMustFitItsByte) {
  SessionRecord one;
  one.Segments.assign(1, {36, 10, 10, 100, 100});
  // More than the compiler's 30 sessions is fine: 254 becomes 255.
  Image img = LibraryOfEmptySessions(254);
  ASSERT_FALSE(CheckLibraryImage(img).has_value());
  ASSERT_TRUE(AppendSession(img, one).Fits);
  EXPECT_EQ(img[1], 255);
  EXPECT_FALSE(CheckLibraryImage(img).has_value());
  // A 256th session would wrap the count to 0: refused, image untouched.
  const Image full = img;
  EXPECT_FALSE(AppendSession(img, one).Fits);
  EXPECT_FALSE(AppendSession(img, SessionRecord{}).Fits);
  EXPECT_EQ(img, full);
}

TEST(MergeTest, TheCountByteStopsAt255Sessions) {
  // Empty sessions take 5 bytes each, so memory is not what stops them.
  Image img = ImageOf({0x17, 0x00, 0x00, 0x04, 0x13});
  for (int k = 0; k < 255; ++k) ASSERT_TRUE(AppendSession(img, SessionRecord{}).Fits) << k;
  EXPECT_EQ(img[1], 255);
  ASSERT_FALSE(CheckLibraryImage(img).has_value());

  // A 256th would wrap the count to 0 and the library would look empty.
  const Image before = img;
  EXPECT_FALSE(AppendSession(img, SessionRecord{}).Fits);
  EXPECT_EQ(img, before);
}

}  // namespace
}  // namespace ovrel
