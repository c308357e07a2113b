#include "DevSimDevice.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace devsim {

namespace {

constexpr std::uint8_t FrameA = 0x41;
constexpr std::uint8_t FrameT = 0x54;
// Payload of the probe reply: bytes 0, 1, 2 and 4 are what a probe checks.
const Bytes ProbePayload = {'S', 'V', '2', '.', '3'};
const Bytes BadProbePayload = {'S', 'V', '1', '.', '0'};
// The letter of a reply that answers the wrong command.
constexpr char WrongReplyLetter = 'Z';
// Line noise sent before a reply with --garbage.
const Bytes GarbageBytes = {0x00, 0xFF, 0x55};

std::string Describe(char letter, const Bytes& payload) {
  char text[64];
  if (letter == 'r' && payload.size() >= 3)
    std::snprintf(text, sizeof text, "r address %u count %u", payload[0] * 256u + payload[1],
                  unsigned{payload[2]});
  else
    std::snprintf(text, sizeof text, "%c length %zu", letter, payload.size());
  return text;
}

}  // namespace

Bytes BuildFrame(char letter, const Bytes& payload) {
  Bytes frame(payload.size() + 5);
  frame[0] = FrameA;
  frame[1] = FrameT;
  frame[2] = static_cast<std::uint8_t>(letter);
  frame[3] = static_cast<std::uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), frame.begin() + 4);
  std::uint8_t sum = 0;
  for (size_t i = 2; i + 1 < frame.size(); ++i) sum ^= frame[i];
  frame.back() = sum;
  return frame;
}

Device::Device(const Options& options) : options_(options) {}

std::vector<Reply> Device::Feed(const std::uint8_t* data, size_t count) {
  input_.insert(input_.end(), data, data + count);
  std::vector<Reply> replies;
  size_t pos = 0;
  while (!hangup_) {
    // Find the next frame start; bytes before it are line noise.
    const size_t noiseFrom = pos;
    while (pos + 1 < input_.size() && !(input_[pos] == FrameA && input_[pos + 1] == FrameT)) ++pos;
    if (pos > noiseFrom) NoiseReceived(pos - noiseFrom, "bytes outside a frame");
    if (hangup_) break;
    if (pos + 4 > input_.size()) break;
    const size_t length = input_[pos + 3];
    if (pos + 5 + length > input_.size()) break;
    std::uint8_t sum = 0;
    for (size_t i = pos + 2; i < pos + 4 + length; ++i) sum ^= input_[i];
    if (sum != input_[pos + 4 + length]) {
      log_.push_back("frame with a wrong checksum skipped");
      NoiseReceived(5 + length, "bytes of a frame with a wrong checksum");
      pos += 1;
      continue;
    }
    const char letter = static_cast<char>(input_[pos + 2]);
    const Bytes payload(input_.begin() + static_cast<long>(pos) + 4,
                        input_.begin() + static_cast<long>(pos + 4 + length));
    pos += 5 + length;
    Execute(letter, payload, replies);
  }
  // Keep a lone trailing A: it may start the next frame.
  if (pos >= input_.size() || (pos + 1 == input_.size() && input_[pos] != FrameA)) {
    if (pos < input_.size() && !hangup_) NoiseReceived(1, "bytes outside a frame");
    pos = input_.size();
  }
  input_.erase(input_.begin(), input_.begin() + static_cast<long>(pos));
  return replies;
}

void Device::NoiseReceived(size_t count, const char* what) {
  if (!options_.Strict) return;
  log_.push_back("strict: " + std::to_string(count) + " " + what + ": hanging up");
  strictBroken_ = true;
  hangup_ = true;
}

void Device::Execute(char letter, const Bytes& payload, std::vector<Reply>& replies) {
  if (options_.HangupAfter >= 0 && commands_ >= options_.HangupAfter) {
    log_.push_back(Describe(letter, payload) + ": hanging up");
    hangup_ = true;
    return;
  }
  ++commands_;
  ++countByLetter_[letter];
  std::string line = Describe(letter, payload);
  int delayMs = 0;
  Bytes answer = Answer(letter, payload, delayMs);
  if (const auto it = options_.ReplyDelayMs.find(letter); it != options_.ReplyDelayMs.end())
    delayMs = it->second;
  if (Faulted(options_.NoReply, letter)) {
    log_.push_back(line + ": no reply");
    return;
  }
  if (answer.empty()) {
    log_.push_back(line + ": unknown command, no reply");
    return;
  }
  if (Faulted(options_.WrongLetter, letter)) {
    answer[2] = static_cast<std::uint8_t>(WrongReplyLetter);
    answer.back() ^= static_cast<std::uint8_t>(letter ^ WrongReplyLetter);
    line += ": answered with the wrong letter";
  }
  if (Faulted(options_.ShortReply, letter)) {
    answer.pop_back();
    line += ": reply cut short";
  }
  if (Faulted(options_.FlipReplyBit, letter)) {
    // The checksum was made over the bytes before the flip.
    const size_t flipped = answer.size() > 9 ? 8 : answer.size() - 1;
    answer[flipped] ^= 0x01;
    line += ": a bit of the reply flipped";
  }
  if (Faulted(options_.BadStart, letter)) {
    answer[0] = 'B';
    line += ": the reply begins B T";
  }
  if (Faulted(options_.Garbage, letter)) {
    answer.insert(answer.begin(), GarbageBytes.begin(), GarbageBytes.end());
    line += ": line noise before the reply";
  }
  log_.push_back(line);
  replies.push_back({std::move(answer), delayMs});
}

Bytes Device::Answer(char letter, const Bytes& payload, int& delayMs) {
  switch (letter) {
    case 'S':
      if (options_.ProbeE) return BuildFrame('e', {});
      return BuildFrame('S', options_.ProbeBad ? BadProbePayload : ProbePayload);
    case 'C':
      delayMs = options_.CDelayMs;
      return BuildFrame('C', {});
    case 'W':
      writeOffset_ = 0;
      flipped_ = false;
      return BuildFrame('W', {});
    case 'D': {
      const size_t room = MemorySize - std::min(writeOffset_, MemorySize);
      const size_t stored = std::min(room, payload.size());
      std::copy_n(payload.begin(), stored, memory_.begin() + static_cast<long>(writeOffset_));
      const auto flip = static_cast<size_t>(options_.FlipByte);
      if (options_.FlipByte >= 0 && flip >= writeOffset_ && flip < writeOffset_ + stored) {
        memory_[flip] ^= 0xFF;
        flipped_ = true;
      }
      writeOffset_ += payload.size();
      blockStored_ = true;
      return BuildFrame('D', {});
    }
    case 'E':
      uploadCompleted_ = true;
      return BuildFrame('E', {});
    case 'X': {
      std::uint8_t sum = MemoryChecksum();
      if (options_.BadChecksum) sum ^= 0xFF;
      return BuildFrame('X', {sum});
    }
    case 'O':
      uploadCompleted_ = true;
      return BuildFrame('O', {});
    case 'I':
      return BuildFrame('I', {});
    case 'r': {
      if (payload.size() < 3) return BuildFrame('r', {});
      const size_t address = payload[0] * 256u + payload[1];
      Bytes data(payload[2], 0);
      for (size_t i = 0; i < data.size() && address + i < MemorySize; ++i)
        data[i] = memory_[address + i];
      return BuildFrame('r', data);
    }
    default:
      return {};
  }
}

bool Device::Faulted(const std::vector<CommandFault>& faults, char letter) const {
  const auto it = countByLetter_.find(letter);
  const int nth = it == countByLetter_.end() ? 0 : it->second;
  return std::any_of(faults.begin(), faults.end(), [&](const CommandFault& fault) {
    return fault.Letter == letter && fault.Nth == nth;
  });
}

// Exclusive-or of the library bytes 0 .. L - 1, L being the checksum offset
// held in bytes 2 and 3.
std::uint8_t Device::MemoryChecksum() const {
  const size_t length = std::min<size_t>(memory_[2] * 256u + memory_[3], MemorySize - 1);
  std::uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum ^= memory_[i];
  // With --flip-byte the checksum is that of the bytes as received.
  if (flipped_ && static_cast<size_t>(options_.FlipByte) < length) sum ^= 0xFF;
  return sum;
}

bool Device::TakeUploadCompleted() {
  return std::exchange(uploadCompleted_, false);
}

bool Device::TakeBlockStored() {
  return std::exchange(blockStored_, false);
}

std::vector<std::string> Device::TakeLog() {
  return std::exchange(log_, {});
}

}  // namespace devsim
