// The library image reader behind "ovrel info", as a library file and as a
// session memory. What it calls a sound image is also accepted by the
// merge's check, so a library that "ovrel info" passes can have a session
// added to it (unless its checksum lies beyond offset 2041: then there is no
// room for one more session and the merge refuses it).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "library/LibraryImage.h"
#include "fuzz/FuzzCheck.h"

namespace {

void Check(std::span<const std::uint8_t> bytes, ovrel::LibImageLength length) {
  const ovrel::LibImageInfo info = ovrel::ReadLibraryImage(bytes, length);
  if (!info.valid()) return;
  FUZZ_CHECK(info.version == 23);
  FUZZ_CHECK(info.checksumMatches());
  FUZZ_CHECK(static_cast<int>(info.sessions.size()) == info.sessionCount);
  FUZZ_CHECK(info.checksumOffset < static_cast<int>(bytes.size()));
  FUZZ_CHECK(info.freeBytes == 2048 - (info.checksumOffset + 1));
  if (length == ovrel::LibImageLength::Exact)
    FUZZ_CHECK(info.checksumOffset + 1 == static_cast<int>(bytes.size()));
  if (bytes.size() > ovrel::SesMemSize || info.checksumOffset > ovrel::MaxSessionEnd + 1) return;
  std::array<std::uint8_t, ovrel::SesMemSize> memory{};
  std::copy(bytes.begin(), bytes.end(), memory.begin());
  FUZZ_CHECK(!ovrel::CheckLibraryImage(memory).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  Check(bytes, ovrel::LibImageLength::Exact);
  Check(bytes, ovrel::LibImageLength::Memory);
  return 0;
}
