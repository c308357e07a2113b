#include "library/MemoryBudget.h"

namespace ovrel {

int SesMemPercent(std::int64_t freeBytes) {
  const std::int64_t scaled = freeBytes * 100;
  std::int64_t percent = scaled / SesMemSize;
  const std::int64_t twiceRest = 2 * (scaled % SesMemSize);
  if (twiceRest > SesMemSize || (twiceRest == SesMemSize && percent % 2 != 0)) ++percent;
  return static_cast<int>(percent);
}

std::string AvailMemText(int percent) {
  return "Available memory: " + std::to_string(percent) + "%";
}

}  // namespace ovrel
