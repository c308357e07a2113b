// The editor's session file reader. A text that reads without error writes
// back to a file text that reads again to the same segments, and writing
// that session once more gives the same text. Only segments that a segment
// line can hold are compared: a hand-made line such as "168,146,-142,4,4"
// reads as a negative frequency with a pitch above 255, which no line can
// store (the frequency carries the pitch's high part).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "format/SessionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ovrel::SessionReadResult first = ovrel::ReadSessionText(text, "fuzz.svs");
  if (!first) {
    FUZZ_CHECK(!first.Error().empty());
    return 0;
  }
  const ovrel::Session& ses = *first;
  for (int k = 1; k <= ses.SegCount; ++k)
    if (ovrel::UnpackSegment(ovrel::PackSegment(ses[k])) != ses[k]) return 0;
  FUZZ_CHECK(ses.SegCount >= 1 && ses.SegCount <= ovrel::MaxSegCount);

  const std::string written = ovrel::SessionFileText(ses);
  const ovrel::SessionReadResult second = ovrel::ReadSessionText(written, "written.svs");
  FUZZ_CHECK(second);
  FUZZ_CHECK(second->SegCount == ses.SegCount);
  for (int k = 1; k <= ses.SegCount; ++k) FUZZ_CHECK((*second)[k] == ses[k]);
  FUZZ_CHECK(ovrel::SessionFileText(*second) == written);
  return 0;
}
