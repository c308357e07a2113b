#pragma once
// The memory budget of a library: the per cent of the device's session
// memory that the gauge shows (the free bytes are SesMemFreeBytes).

#include <cstdint>
#include <string>

#include "library/LibraryImage.h"

namespace ovrel {

// F * 100 / 2048 rounded to the nearest integer, halves to the even
// neighbour. `freeBytes` must be 0 .. SesMemSize.
int SesMemPercent(std::int64_t freeBytes);

// "Available memory: P%".
std::string AvailMemText(int percent);

}  // namespace ovrel
