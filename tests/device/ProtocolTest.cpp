// Frames and the receiver: frame bytes, assembly over any split of the
// received bytes, dispatch by letter and the probe rules.

#include <gtest/gtest.h>

#include <vector>

#include "device/protocol/Frame.h"
#include "device/protocol/ReplyReceiver.h"

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

Bytes Payload(const ReplyReceiver& receiver) {
  const auto p = receiver.Payload();
  return Bytes(p.begin(), p.end());
}

TEST(ReceiverTest, SplitAndJoinedRepliesAssembleAlike) {
  Bytes stream = Frame(cmd::X, {0x5A, 1, 2});
  const Bytes second = Frame(cmd::X, {0x33});
  stream.insert(stream.end(), second.begin(), second.end());

  ReplyReceiver whole;
  whole.Await(cmd::X);
  whole.Receive(stream);
  EXPECT_EQ(Payload(whole), Bytes{0x33});  // both matched, in order
  EXPECT_EQ(whole.PartialBytes(), 0);

  for (std::size_t cut = 1; cut < stream.size(); ++cut) {
    ReplyReceiver split;
    split.Await(cmd::X);
    split.Receive(std::span(stream).first(cut));
    if (cut < 8) {
      EXPECT_FALSE(split.Replied()) << cut;
    } else {
      EXPECT_EQ(Payload(split), (Bytes{0x5A, 1, 2})) << cut;
    }
    split.Receive(std::span(stream).subspan(cut));
    EXPECT_TRUE(split.Replied());
    EXPECT_EQ(Payload(split), Bytes{0x33}) << cut;
    EXPECT_FALSE(split.WrongReply());
  }
}

TEST(ReceiverTest, FrameLengthFollowsTheLengthByte) {
  ReplyReceiver st;
  st.Await(cmd::D);
  const Bytes empty = Frame(cmd::D);
  st.Receive(std::span(empty).first(4));
  EXPECT_FALSE(st.Replied());
  st.Receive(std::span(empty).subspan(4));
  EXPECT_TRUE(st.Replied());
  EXPECT_TRUE(Payload(st).empty());

  st.Await(cmd::D);
  const Bytes full = Frame(cmd::D, Bytes(128, 0xEE));
  st.Receive(std::span(full).first(132));
  EXPECT_FALSE(st.Replied());
  st.Receive(std::span(full).subspan(132));
  EXPECT_TRUE(st.Replied());
  EXPECT_EQ(Payload(st), Bytes(128, 0xEE));
  EXPECT_EQ(st.PartialBytes(), 0);

  // The longest frame a length byte allows stays inside the assembly buffer.
  st.Await(cmd::D);
  st.Receive(Frame(cmd::D, Bytes(255, 1)));
  EXPECT_TRUE(st.Replied());
  EXPECT_EQ(Payload(st), Bytes(255, 1));
  EXPECT_EQ(st.PartialBytes(), 0);
}

TEST(ReceiverTest, AWrongLetterEndsTheWaitUntilTheNextRestart) {
  ReplyReceiver st;
  st.Await(cmd::W);
  st.Receive(Frame(cmd::E));
  EXPECT_TRUE(st.WrongReply());
  EXPECT_FALSE(st.Replied());
  EXPECT_TRUE(st.WaitOver());
  // A later matching reply clears the wait but not the wrong-reply flag.
  st.Receive(Frame(cmd::W));
  EXPECT_TRUE(st.Replied());
  EXPECT_TRUE(st.WrongReply());
  // It outlives the exchange: the next one ends at once...
  st.Await(cmd::D);
  EXPECT_TRUE(st.WaitOver());
  // ...until the port is opened afresh.
  st.Restart();
  st.Await(cmd::D);
  EXPECT_FALSE(st.WaitOver());
}

TEST(ReceiverTest, ProbeRules) {
  auto probe = [](const Bytes& reply) {
    ReplyReceiver st;
    st.AwaitProbeAnswer();
    st.Receive(reply);
    EXPECT_FALSE(st.WrongReply());
    return st.Replied();
  };
  EXPECT_TRUE(probe(Frame(cmd::ProbeAnswerE)));
  EXPECT_TRUE(probe(Frame(cmd::S, {'S', 'V', '2', 'x', '3'})));
  EXPECT_TRUE(probe(Frame(cmd::S, {'S', 'V', '2', 0, '3', 'z', 'z'})));
  EXPECT_FALSE(probe(Frame(cmd::S, {'S', 'V', '2', 'x', '4'})));
  EXPECT_FALSE(probe(Frame(cmd::S, {'s', 'V', '2', 'x', '3'})));
  EXPECT_FALSE(probe(Frame(cmd::S)));
  EXPECT_FALSE(probe(Frame(cmd::I)));
  // The length byte of an S reply is not looked at: it only frames the reply.
  EXPECT_TRUE(probe(Frame(cmd::S, {'S', 'V', '2', '9', '3'})));
  // Outside a probe, an e reply to S is a wrong reply.
  ReplyReceiver plain;
  plain.Await(cmd::S);
  plain.Receive(Frame(cmd::ProbeAnswerE));
  EXPECT_TRUE(plain.WrongReply());
}

TEST(ReceiverTest, RestartDropsAPartialFrame) {
  ReplyReceiver st;
  st.Await(cmd::O);
  const Bytes o = Frame(cmd::O);
  st.Receive(std::span(o).first(3));  // left over by a failed operation
  st.Restart();
  st.Await(cmd::O);
  st.Receive(o);
  EXPECT_TRUE(st.Replied());
  EXPECT_FALSE(st.WrongReply());
  EXPECT_EQ(st.PartialBytes(), 0);
}

// A reply damaged on the line is never taken for the reply: whatever byte
// of it was hit (start bytes, letter, length-framed payload, checksum), the
// wait ends with the damage named, and it stays until the port is opened
// afresh, as the frames after it may be cut anywhere. A probe ignores it.
TEST(ReceiverTest, ADamagedReplyEndsTheWaitAndIsNeverTaken) {
  const Bytes good = Frame(cmd::r, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  struct Case {
    const char* What;
    std::size_t At;
    std::uint8_t Flip;
    FrameDamage Damage;
  };
  const Case cases[] = {
      {"first start byte", 0, 0x01, FrameDamage::StartBytes},
      {"second start byte", 1, 0x40, FrameDamage::StartBytes},
      {"a payload bit", 6, 0x01, FrameDamage::Checksum},
      {"the last payload byte", good.size() - 2, 0x80, FrameDamage::Checksum},
      {"the checksum", good.size() - 1, 0x10, FrameDamage::Checksum},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    bad[c.At] ^= c.Flip;
    EXPECT_EQ(DamageOf(bad), c.Damage) << c.What;
    ReplyReceiver st;
    st.Await(cmd::r);
    st.Receive(bad);
    EXPECT_FALSE(st.Replied()) << c.What;
    EXPECT_TRUE(st.WaitOver()) << c.What;
    EXPECT_EQ(st.Damage(), c.Damage) << c.What;
    EXPECT_TRUE(Payload(st).empty()) << c.What;
    // A sound reply after it does not make up for it.
    st.Await(cmd::r);
    st.Receive(good);
    EXPECT_TRUE(st.WaitOver()) << c.What;
    EXPECT_EQ(st.Damage(), c.Damage) << c.What;
    st.Restart();
    st.Await(cmd::r);
    st.Receive(good);
    EXPECT_TRUE(st.Replied()) << c.What;
    EXPECT_EQ(st.Damage(), FrameDamage::None) << c.What;
    EXPECT_EQ(Payload(st), (Bytes{1, 2, 3, 4, 5, 6, 7, 8})) << c.What;

    ReplyReceiver probe;
    probe.AwaitProbeAnswer();
    Bytes answer = Frame(cmd::S, {'S', 'V', '2', 'x', '3'});
    answer[c.At < 2 ? c.At : answer.size() - 1] ^= c.Flip;
    probe.Receive(answer);
    EXPECT_FALSE(probe.WaitOver()) << c.What;
  }
  EXPECT_EQ(DamageOf(good), FrameDamage::None);
  EXPECT_EQ(DamageOf(Frame(cmd::S)), FrameDamage::None);
}

// Line noise before a reply shifts its bytes, so that a start byte lands
// where the length belongs: the wait ends at the first wrong start byte, as
// a damaged start, instead of waiting for a frame length the noise named.
// Noise while probing is left to the probe, which may reach anything.
TEST(ReceiverTest, NoiseBeforeAReplyEndsTheWaitAtOnce) {
  const Bytes good = Frame(cmd::D);
  for (const Bytes& noise : {Bytes{0x00, 0xFF, 0x55}, Bytes{'A', 'A'}, Bytes{0x55}}) {
    ReplyReceiver st;
    st.Await(cmd::D);
    Bytes line = noise;
    line.insert(line.end(), good.begin(), good.end());
    st.Receive(std::span(line).first(2));
    EXPECT_TRUE(st.WaitOver());
    EXPECT_FALSE(st.Replied());
    EXPECT_EQ(st.Damage(), FrameDamage::StartBytes);

    ReplyReceiver probe;
    probe.AwaitProbeAnswer();
    probe.Receive(noise);
    EXPECT_FALSE(probe.WaitOver());
  }
}

}  // namespace
}  // namespace ovrel
