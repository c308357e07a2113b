#include "device/protocol/ReplyReceiver.h"

#include <algorithm>

namespace ovrel {

FrameDamage DamageOf(std::span<const std::uint8_t> frame) {
  if (frame.size() < kFrameOverhead || frame[0] != 'A' || frame[1] != 'T')
    return FrameDamage::StartBytes;
  const std::span<const std::uint8_t> summed = frame.subspan(2, frame.size() - 3);
  return XorSum(summed) == frame.back() ? FrameDamage::None : FrameDamage::Checksum;
}

void ReplyReceiver::Await(std::uint8_t letter) {
  expected_ = letter;
  probe_ = false;
  waiting_ = true;
  replyLength_ = 0;
}

void ReplyReceiver::AwaitProbeAnswer() {
  Await(cmd::S);
  probe_ = true;
}

void ReplyReceiver::Restart() {
  pos_ = 0;
  frameLength_ = kFrameOverhead;
  wrong_ = false;
  damage_ = FrameDamage::None;
}

void ReplyReceiver::Receive(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) {
    frame_[pos_] = b;
    // Noise on the line before a reply shows in its first two bytes; the
    // length byte after them cannot be trusted, and waiting for the length
    // it names would end in silence rather than in the damage it is.
    if (!probe_ && pos_ < 2 && b != (pos_ == 0 ? 'A' : 'T') && damage_ == FrameDamage::None)
      damage_ = FrameDamage::StartBytes;
    if (pos_ == 3) frameLength_ = b + kFrameOverhead;
    if (pos_ >= frameLength_ - 1) {
      pos_ = -1;
      Match();
    }
    ++pos_;
  }
}

void ReplyReceiver::Match() {
  const auto& f = frame_;
  const std::uint8_t letter = f[2];
  const int length = f[3];
  const FrameDamage damage = DamageOf(std::span(f).first(static_cast<std::size_t>(frameLength_)));
  const auto keep = [&] {
    waiting_ = false;
    std::copy_n(f.begin() + 4, length, reply_.begin());
    replyLength_ = length;
  };
  if (probe_) {
    if (damage != FrameDamage::None) return;
    if (letter == cmd::ProbeAnswerE ||
        (letter == cmd::S && f[4] == 'S' && f[5] == 'V' && f[6] == '2' && f[8] == '3')) {
      keep();
    }
    return;
  }
  if (damage != FrameDamage::None) {
    if (damage_ == FrameDamage::None) damage_ = damage;
    return;
  }
  if (letter != expected_) {
    wrong_ = true;
    return;
  }
  keep();
}

}  // namespace ovrel
