// The session the benchmarks work on: every field varies from segment to
// segment, within the ranges the editor allows.
#pragma once

#include "session/Session.h"

inline ovrel::Session VariedSession(int segments) {
  ovrel::Session ses;
  ses.SegCount = segments;
  for (int k = 1; k <= segments; ++k)
    ses[k] = {1 + k % 23, k % 7, 1 + k % 48, 1 + (k * 7) % 48, 48 + (k * 13) % 353};
  return ses;
}
