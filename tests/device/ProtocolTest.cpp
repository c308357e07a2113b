// Frames and the receiver: frame bytes, assembly over any split of the
// received bytes, dispatch by letter and the probe rules.

#include <gtest/gtest.h>

#include <vector>

#include "device/protocol/Frame.h"
#include "device/protocol/LinkState.h"

namespace ovrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t letter, const Bytes& payload = {}) {
  Bytes out(payload.size() + kFrameOverhead);
  out.resize(BuildFrame(out, letter, payload));
  return out;
}

TEST(FrameTest, CommandBytes) {
  EXPECT_EQ(Frame(cmd::S), (Bytes{0x41, 0x54, 0x53, 0x00, 0x53}));
  const ReadPayload rp = ReadBlockPayload(5);  // address 640
  EXPECT_EQ(Frame(cmd::r, Bytes(rp.Bytes, rp.Bytes + 3)),
            (Bytes{0x41, 0x54, 0x72, 0x03, 0x02, 0x80, 0x80, 0x73}));
  const ReadPayload last = ReadBlockPayload(15);
  EXPECT_EQ(Bytes(last.Bytes, last.Bytes + 3), (Bytes{7, 0x80, 0x80}));

  Bytes block(128);
  for (int i = 0; i < 128; ++i) block[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const Bytes d = Frame(cmd::D, block);
  ASSERT_EQ(d.size(), 133u);
  EXPECT_EQ(d[3], 0x80);
  EXPECT_EQ(d[132], 0x44 ^ 0x80 ^ XorSum(block));
}

TEST(FrameTest, PrepareCommandSetsTheAwaitedReply) {
  LinkState st;
  const int n = st.PrepareCommand(cmd::X);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(st.ExpectedCmd, cmd::X);
  EXPECT_TRUE(st.WaitingReply);
  EXPECT_EQ(Bytes(st.TxBuf.begin(), st.TxBuf.begin() + 5), (Bytes{'A', 'T', 'X', 0, 'X'}));
}

TEST(ReceiverTest, SplitAndJoinedRepliesAssembleAlike) {
  Bytes stream = Frame(cmd::X, {0x5A, 1, 2});
  const Bytes second = Frame(cmd::X, {0x33});
  stream.insert(stream.end(), second.begin(), second.end());

  LinkState whole;
  whole.ExpectedCmd = cmd::X;
  whole.Receive(stream);
  EXPECT_EQ(whole.DeviceCS, 0x33);  // both dispatched, in order
  EXPECT_EQ(whole.RxPos, 0);

  for (std::size_t cut = 1; cut < stream.size(); ++cut) {
    LinkState split;
    split.ExpectedCmd = cmd::X;
    split.WaitingReply = true;
    split.Receive(std::span(stream).first(cut));
    if (cut < 8) {
      EXPECT_TRUE(split.WaitingReply) << cut;
    } else {
      EXPECT_EQ(split.DeviceCS, 0x5A) << cut;
    }
    split.Receive(std::span(stream).subspan(cut));
    EXPECT_FALSE(split.WaitingReply);
    EXPECT_EQ(split.DeviceCS, 0x33) << cut;
    EXPECT_FALSE(split.WrongReply);
  }
}

TEST(ReceiverTest, FrameLengthFollowsTheLengthByte) {
  LinkState st;
  st.ExpectedCmd = cmd::D;
  st.WaitingReply = true;
  const Bytes empty = Frame(cmd::D);
  st.Receive(std::span(empty).first(4));
  EXPECT_TRUE(st.WaitingReply);
  st.Receive(std::span(empty).subspan(4));
  EXPECT_FALSE(st.WaitingReply);

  st.WaitingReply = true;
  const Bytes full = Frame(cmd::D, Bytes(128, 0xEE));
  st.Receive(std::span(full).first(132));
  EXPECT_TRUE(st.WaitingReply);
  st.Receive(std::span(full).subspan(132));
  EXPECT_FALSE(st.WaitingReply);
  EXPECT_EQ(st.RxPos, 0);

  // The longest frame a length byte allows stays inside the assembly buffer.
  st.WaitingReply = true;
  st.Receive(Frame(cmd::D, Bytes(255, 1)));
  EXPECT_FALSE(st.WaitingReply);
  EXPECT_EQ(st.RxPos, 0);
}

TEST(ReceiverTest, WrongLetterSetsWrongReply) {
  LinkState st;
  st.ExpectedCmd = cmd::W;
  st.WaitingReply = true;
  st.Receive(Frame(cmd::E));
  EXPECT_TRUE(st.WrongReply);
  EXPECT_TRUE(st.WaitingReply);
  EXPECT_TRUE(st.ReplyWaitOver());
  // A later matching reply clears the wait but not the wrong-reply flag.
  st.Receive(Frame(cmd::W));
  EXPECT_FALSE(st.WaitingReply);
  EXPECT_TRUE(st.WrongReply);
}

TEST(ReceiverTest, ProbeRules) {
  auto probe = [](const Bytes& reply, std::uint8_t expected = cmd::S) {
    LinkState st;
    st.Autodetecting = true;
    st.ExpectedCmd = expected;
    st.WaitingReply = true;
    st.Receive(reply);
    EXPECT_FALSE(st.WrongReply);
    return !st.WaitingReply;
  };
  EXPECT_TRUE(probe(Frame(cmd::ProbeAnswerE)));
  EXPECT_TRUE(probe(Frame(cmd::S, {'S', 'V', '2', 'x', '3'})));
  EXPECT_TRUE(probe(Frame(cmd::S, {'S', 'V', '2', 0, '3', 'z', 'z'})));
  EXPECT_FALSE(probe(Frame(cmd::S, {'S', 'V', '2', 'x', '4'})));
  EXPECT_FALSE(probe(Frame(cmd::S, {'s', 'V', '2', 'x', '3'})));
  EXPECT_FALSE(probe(Frame(cmd::S)));
  EXPECT_FALSE(probe(Frame(cmd::I)));
  EXPECT_FALSE(probe(Frame(cmd::ProbeAnswerE), cmd::I));
  // The length byte of an S reply is not looked at: it only frames the reply.
  EXPECT_TRUE(probe(Frame(cmd::S, {'S', 'V', '2', '9', '3'})));
}

TEST(ReceiverTest, ReadReplyFillsTheImageFromReadBase) {
  LinkState st;
  st.ExpectedCmd = cmd::r;
  st.ReadBase = 640;
  Bytes payload(128);
  for (int i = 0; i < 128; ++i) payload[i] = static_cast<std::uint8_t>(i + 1);
  st.Receive(Frame(cmd::r, payload));
  EXPECT_EQ(st.MemImgBuf[639], 0);
  EXPECT_EQ(st.MemImgBuf[640], 1);
  EXPECT_EQ(st.MemImgBuf[767], 128);
  EXPECT_EQ(st.MemImgBuf[768], 0);

  // A payload running past the image is cut at its end.
  st.ReadBase = 1920;
  st.Receive(Frame(cmd::r, Bytes(255, 0xAB)));
  EXPECT_EQ(st.MemImgBuf[1919], 0);
  EXPECT_EQ(st.MemImgBuf[2047], 0xAB);
}

TEST(ReceiverTest, RestartDropsAPartialFrame) {
  LinkState st;
  st.ExpectedCmd = cmd::O;
  const Bytes o = Frame(cmd::O);
  st.Receive(std::span(o).first(3));  // left over by a failed operation
  st.RestartFrameAssembly();
  st.WaitingReply = true;
  st.Receive(o);
  EXPECT_FALSE(st.WaitingReply);
  EXPECT_FALSE(st.WrongReply);
  EXPECT_EQ(st.RxPos, 0);
}

}  // namespace
}  // namespace ovrel
