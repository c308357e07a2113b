#pragma once
// The memory budget of a library: how many bytes of the device's session
// memory a list of sessions leaves free, and the per cent the gauge shows.

#include <cstdint>
#include <string>

namespace ovrel {

// Free bytes F = 2048 - (5 + 5 * sessions + 5 * segments): the 4 header
// bytes and the checksum, per session its offset-table entry, its two length
// bytes and its end byte, and 5 bytes per segment. F >= 0 exactly when the
// image fits.
std::int64_t SesMemFreeBytes(std::int64_t sessions, std::int64_t segments);

// F * 100 / 2048 rounded to the nearest integer, halves to the even
// neighbour. `freeBytes` must be 0 .. SesMemSize.
int SesMemPercent(std::int64_t freeBytes);

// "Available memory: P%".
std::string AvailMemText(int percent);

}  // namespace ovrel
