#pragma once
// The .sbg schedules of the SBaGen family (also read by FFmpeg): tone-set
// lines ("name: 200+10/50 pink/30"), time lines ("NOW name", "+00:10:00
// name ->", "22:30 name") and "#" comments.

#include <string>
#include <string_view>

#include "format/ExchangeFormat.h"

namespace ovrel {

// Longest line an .sbg file may have.
inline constexpr size_t kMaxSbgLineLength = 4096;

// Reads a schedule: the first binaural tone of each tone-set (carrier +
// or - beat) gives the pitch and the frequency; a time line lasts until
// the next one, and "->" slides to the next line's tone-set. Times are
// NOW-based or clock times (wrapping past midnight), and "+hh:mm[:ss]"
// counts from the last of them. Everything else (noise, other tones, mix,
// blocks, fades, stretches without a binaural tone) is listed as not taken
// over. A file without any binaural tone is refused.
ExchangeRead ReadSbgText(std::string_view text);

// The schedule of a session: options "-SE -F 0" (play from the first to
// the last time line, no fades), one tone-set per segment point and one
// time line for each, NOW-based, sliding within each segment, then "off".
std::string SbgText(const Session& ses, const std::string& sesName, const std::string& producer);

}  // namespace ovrel
