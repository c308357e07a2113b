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
  if (!info.Valid()) return;
  FUZZ_CHECK(info.Version == 23);
  FUZZ_CHECK(info.ChecksumMatches());
  FUZZ_CHECK(static_cast<int>(info.Sessions.size()) == info.SessionCount);
  FUZZ_CHECK(info.ChecksumOffset < static_cast<int>(bytes.size()));
  FUZZ_CHECK(info.FreeBytes == 2048 - (info.ChecksumOffset + 1));
  if (length == ovrel::LibImageLength::Exact)
    FUZZ_CHECK(info.ChecksumOffset + 1 == static_cast<int>(bytes.size()));
  if (bytes.size() > ovrel::SesMemSize || info.ChecksumOffset > ovrel::MaxSessionEnd + 1) return;
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
