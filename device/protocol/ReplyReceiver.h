#pragma once
// The receiver of the device's replies: assembles frames from received
// bytes and matches each complete frame against the command that is
// awaited. The line to the device owns one; nothing else sees its state.

#include <array>
#include <cstdint>
#include <span>

#include "device/protocol/Frame.h"

namespace ovrel {

class ReplyReceiver {
 public:
  // Awaits the reply to the command letter. A wrong reply seen since the
  // last Restart still counts: the exchange that follows it ends at once.
  void Await(std::uint8_t letter);
  // Awaits an answer to the probe S: an e reply, or an S reply whose
  // payload begins S, V, 2, any byte, 3. Other frames are ignored.
  void AwaitProbeAnswer();

  // Feeds received bytes, in order, to the frame assembly; each complete
  // frame is matched before the next byte is looked at.
  void Receive(std::span<const std::uint8_t> bytes);

  // Forgets any partly received frame and any wrong reply (the port was
  // opened afresh).
  void Restart();

  // True once the awaited reply is in.
  bool Replied() const { return !waiting_; }
  // True when a frame with another letter came while a reply was awaited.
  bool WrongReply() const { return wrong_; }
  // True once the awaited reply is in or a wrong reply ended the wait.
  bool WaitOver() const { return !waiting_ || wrong_; }
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
  std::array<std::uint8_t, kMaxFrameLen> reply_{};
  int replyLength_ = 0;
};

}  // namespace ovrel
