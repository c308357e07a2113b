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

// Reads a schedule: the first audible binaural tone of each tone-set
// (carrier + or - a beat other than 0) gives the pitch and the frequency; a
// time line lasts until the next one, and "->" slides to the next line's
// tone-set. Times are NOW-based or clock times (a time before the previous
// line's is on the next day), and "+hh:mm[:ss]" counts from the last of
// them; a block's lines are put in at each line that names it. The last
// tone-set plays on with no end (unless -E) and is given
// options.OpenEndMinutes. Everything else (noise, bells, other tones, mix,
// options, fades, stretches without a binaural tone, a negative beat's side)
// is listed. A byte-order mark is skipped. Syntax the format does not
// define, and a file without any binaural tone, are refused.
ExchangeRead ReadSbgText(std::string_view text, const ImportOptions& options = {});

// Whether the schedule reads and its last time line plays on with no end
// (no -E, a binaural tone): ReadSbgText gives that line the open end's
// length.
bool SbgEndsOpen(std::string_view text);

// The schedule of a session: options "-SE -F 0" (play from the first to
// the last time line, no fades), one tone-set per segment point and one
// time line for each, NOW-based, sliding within each segment, then "off".
std::string SbgText(const Session& ses, const std::string& sesName, const std::string& producer);

}  // namespace ovrel
