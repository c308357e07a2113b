// The .gnaural schedule reader and its XML reader. A schedule it reads gives
// a session in the device's ranges, which a .gnaural export gives back
// unchanged.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/ScheduleCheck.h"
#include "format/GnauralFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ovrel::CheckImportedSchedule(ovrel::ReadGnauralText(text), ovrel::ReadGnauralText,
                               ovrel::GnauralText);
  return 0;
}
