// The merge of a session file into a 2048-byte image read back from the
// device. Input: a flag byte, the image's length (two bytes, big-endian),
// the image (zeros after it up to 2048 bytes), and the session file text.
// Flag bit 0 stores the right checksum at the image's L first, so the
// fuzzer also reaches the merge itself, not only the image check.
//
// Properties: no store outside the 2048 bytes (guard bytes either side); a
// session that does not fit leaves the image unchanged; a merged image is
// again a library the merge accepts, holding the old sessions moved up by
// two bytes and the new record at the old L + 2.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "library/LibraryImage.h"
#include "library/SessionScan.h"
#include "fuzz/FuzzCheck.h"

namespace {

constexpr std::size_t kGuard = 256;
constexpr std::uint8_t kGuardByte = 0xA5;

int Word(std::span<const std::uint8_t> image, int at) {
  return image[at] << 8 | image[at + 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool repairChecksum = data[0] & 1;
  const std::size_t imageLen =
      std::min<std::size_t>((data[1] << 8 | data[2]) % (ovrel::SesMemSize + 1), size - 3);
  const std::string text(reinterpret_cast<const char*>(data) + 3 + imageLen, size - 3 - imageLen);

  std::array<std::uint8_t, kGuard + ovrel::SesMemSize + kGuard> buffer;
  buffer.fill(kGuardByte);
  const std::span<std::uint8_t, ovrel::SesMemSize> image(buffer.data() + kGuard,
                                                          ovrel::SesMemSize);
  std::fill(image.begin(), image.end(), 0);
  std::copy_n(data + 3, imageLen, image.begin());
  if (repairChecksum) {
    const int l = Word(image, 2);
    if (l < ovrel::SesMemSize) image[l] = ovrel::LibChecksum(image.first(l));
  }

  const ovrel::SessionRecordRead read = ovrel::ReadSessionRecord(text, "fuzz.svs");
  if (!read) {
    FUZZ_CHECK(!read.Error().empty());
    return 0;
  }
  if (ovrel::CheckLibraryImage(image)) return 0;

  const auto before = buffer;
  const int oldN = image[1];
  const int oldL = Word(image, 2);
  const ovrel::AppendOutcome merged = ovrel::AppendSession(image, *read);
  FUZZ_CHECK(std::all_of(buffer.begin(), buffer.begin() + kGuard,
                         [](std::uint8_t b) { return b == kGuardByte; }));
  FUZZ_CHECK(std::all_of(buffer.end() - kGuard, buffer.end(),
                         [](std::uint8_t b) { return b == kGuardByte; }));
  if (!merged.Fits) {
    FUZZ_CHECK(buffer == before);
    return 0;
  }

  const ovrel::SessionRecord& ses = *read;
  // The memory limit holds for sessions with segment lines; one without
  // them may end past it, but its checksum stays inside the image.
  if (!ses.Segments.empty()) {
    FUZZ_CHECK(!ovrel::CheckLibraryImage(image).has_value());
    FUZZ_CHECK(merged.L <= ovrel::MaxSessionEnd + 1);
  }
  FUZZ_CHECK(merged.L < ovrel::SesMemSize);
  FUZZ_CHECK(image[1] == oldN + 1);
  FUZZ_CHECK(merged.L == oldL + 5 + 5 * static_cast<int>(ses.Segments.size()));
  FUZZ_CHECK(Word(image, 2) == merged.L);
  FUZZ_CHECK(image[merged.L] == merged.LibCS);
  const auto old = std::span(before).subspan(kGuard, ovrel::SesMemSize);
  for (int k = 0; k < oldN; ++k) FUZZ_CHECK(Word(image, 4 + 2 * k) == Word(old, 4 + 2 * k) + 2);
  FUZZ_CHECK(Word(image, 4 + 2 * oldN) == oldL + 2);
  FUZZ_CHECK(
      std::equal(old.begin() + 4 + 2 * oldN, old.begin() + oldL, image.begin() + 6 + 2 * oldN));
  int p = oldL + 2;
  FUZZ_CHECK(image[p++] == ses.Minutes);
  FUZZ_CHECK(image[p++] == ses.Seconds);
  for (const auto& segment : ses.Segments)
    for (std::uint8_t b : segment) FUZZ_CHECK(image[p++] == b);
  FUZZ_CHECK(image[p] == 0);
  FUZZ_CHECK(std::equal(image.begin() + merged.L + 1, image.end(), old.begin() + merged.L + 1));
  return 0;
}
