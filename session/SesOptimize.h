#pragma once
// The optimiser that merges runs of equal steady segments.

#include <cstdint>
#include <optional>

#include "session/Session.h"

namespace ovrel {

struct OptimizeResult {
  // The place of the last removal (the first segment after the last rewritten
  // run that lost segments), clamped to SegCount; none when nothing was removed.
  std::optional<int32_t> Cursor;
  int32_t Removed = 0;  // segments removed
};

// Merges every run of two or more adjacent mergeable segments (equal Mode,
// steady and equal frequencies, equal Pitch) into pieces of 23 units and one
// remainder. Only removals make the session count as modified.
OptimizeResult SesOptimize(Session& ses);

}  // namespace ovrel
