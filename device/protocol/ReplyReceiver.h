#pragma once
// The receiver of the device's replies: assembles frames from received
// bytes and matches each complete frame against the command that is
// awaited. The line to the device owns one; nothing else sees its state.

#include <array>
#include <cstdint>
#include <span>

#include "device/protocol/Frame.h"

namespace ovrel {

// How a complete frame was found damaged: it did not begin with A T, or its
// checksum does not match its letter, length and payload.
enum class FrameDamage { None, StartBytes, Checksum };

// The damage of a complete frame (frame holds exactly one frame).
FrameDamage DamageOf(std::span<const std::uint8_t> frame);

class ReplyReceiver {
 public:
  // Awaits the reply to the command letter. A wrong or damaged reply seen
  // since the last Restart still counts: the exchange that follows it ends
  // at once (after a damaged frame, the frames that follow may be cut
  // anywhere).
  void Await(std::uint8_t letter);
  // Awaits an answer to the probe S: an e reply, or an S reply whose
  // payload begins S, V, 2, any byte, 3. Other frames, damaged ones too,
  // are ignored: a probe may reach anything.
  void AwaitProbeAnswer();

  // Feeds received bytes, in order, to the frame assembly; each complete
  // frame is matched before the next byte is looked at.
  void Receive(std::span<const std::uint8_t> bytes);

  // Forgets any partly received frame and any wrong or damaged reply (the
  // port was opened afresh).
  void Restart();

  // True once the awaited reply is in.
  bool Replied() const { return !waiting_; }
  // True when a frame with another letter came while a reply was awaited.
  bool WrongReply() const { return wrong_; }
  // How the first damaged frame since the last Restart was damaged; such a
  // frame is never taken as the reply.
  FrameDamage Damage() const { return damage_; }
  // True once the awaited reply is in or a wrong or damaged reply ended the
  // wait.
  bool WaitOver() const { return !waiting_ || wrong_ || damage_ != FrameDamage::None; }
  // The payload of the last frame that matched the awaited letter.
  std::span<const std::uint8_t> Payload() const {
    return std::span(reply_).first(static_cast<std::size_t>(replyLength_));
  }
  // Bytes of a frame not yet complete.
  int PartialBytes() const { return pos_; }

 private:
  void Match();

  // Room for the longest frame a length byte can announce.
  std::array<std::uint8_t, kMaxFrameLen> frame_{};
  int pos_ = 0;
  int frameLength_ = kFrameOverhead;
  std::uint8_t expected_ = 0;
  bool probe_ = false;
  bool waiting_ = false;
  bool wrong_ = false;
  FrameDamage damage_ = FrameDamage::None;
  std::array<std::uint8_t, kMaxFrameLen> reply_{};
  int replyLength_ = 0;
};

}  // namespace ovrel
