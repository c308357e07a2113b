// The .sbg schedule reader. A schedule it reads gives a session in the
// device's ranges, which an .sbg export gives back unchanged.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/ScheduleCheck.h"
#include "format/SbgFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto read = [](std::string_view t) { return ovrel::ReadSbgText(t); };
  ovrel::CheckImportedSchedule(read(text), read, ovrel::SbgText);
  return 0;
}
