// The legacy .rvx import. A file it converts gives a session of 1 to 380
// segments that the editor can save and open again unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "format/LegacyImport.h"
#include "format/SessionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ovrel::RvxReadResult read = ovrel::ConvertRvxText(text);
  if (!read) {
    FUZZ_CHECK(!read.Error().empty());
    return 0;
  }
  const ovrel::Session& ses = read->Ses;
  FUZZ_CHECK(ses.SegCount >= 1 && ses.SegCount <= ovrel::MaxSegCount);
  FUZZ_CHECK(!read->Truncated || ses.SegCount == ovrel::MaxSegCount);

  const ovrel::SessionReadResult reopened =
      ovrel::ReadSessionText(ovrel::SessionFileText(ses), "imported.svs");
  FUZZ_CHECK(reopened);
  FUZZ_CHECK(reopened->SegCount == ses.SegCount);
  for (int k = 1; k <= ses.SegCount; ++k) FUZZ_CHECK((*reopened)[k] == ses[k]);
  return 0;
}
