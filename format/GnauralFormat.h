#pragma once
// The .gnaural XML schedules: a <schedule> with its voice and entry counts
// and <voice> elements of a type (0 binaural beat, 1 pink noise, 2 audio
// file, 3 isochronic tone, 4 alternating isochronic tone, 5 water drops,
// 6 rain), each with its <entries>: duration, beatfreq and basefreq, from
// which the voice glides to the next entry's values.

#include <string>
#include <string_view>

#include "format/ExchangeFormat.h"

namespace ovrel {

// Reads the first binaural voice: each entry with a duration becomes a
// stretch gliding to the next entry (the last one to the first, as the
// schedule loops); an entry at volume 0 is silence and left out. The
// elements are counted as the program's own readers count them: counts
// (<voicecount>, <totalentrycount>, each voice's <entrycount>) that disagree
// are listed. Other voices (a second binaural one too), loops and a muted
// voice are listed. A file without a binaural voice is refused.
ExchangeRead ReadGnauralText(std::string_view text);

// The schedule of a session: one binaural voice with one entry per segment
// point (a segment's end point lasting no time), counts that agree, the
// session's and the program's name in the title and the description.
std::string GnauralText(const Session& ses, const std::string& sesName,
                        const std::string& producer);

}  // namespace ovrel
