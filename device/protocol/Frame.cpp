#include "device/protocol/Frame.h"

#include <algorithm>
#include <cassert>

namespace ovrel {

std::uint8_t XorSum(std::span<const std::uint8_t> bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum ^= b;
  return sum;
}

int BuildFrame(std::span<std::uint8_t> out, std::uint8_t letter,
               std::span<const std::uint8_t> payload) {
  const int n = static_cast<int>(payload.size());
  assert(n <= 255 && out.size() >= payload.size() + kFrameOverhead);
  out[0] = 'A';
  out[1] = 'T';
  out[2] = letter;
  out[3] = static_cast<std::uint8_t>(n);
  std::copy(payload.begin(), payload.end(), out.begin() + 4);
  out[4 + n] = XorSum(out.subspan(2, 2 + n));
  return n + kFrameOverhead;
}

ReadPayload ReadBlockPayload(int block) {
  return {{static_cast<std::uint8_t>(block / 2),
           static_cast<std::uint8_t>((block % 2) * kBlockSize),
           static_cast<std::uint8_t>(kBlockSize)}};
}

}  // namespace ovrel
