#pragma once
// The sessions the exchange tests carry through other programs' formats:
// the shipped examples and a full session of 380 varied segments.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "session/Session.h"
#include "format/SessionFile.h"

namespace ovrel {

// 380 segments in range: every duration, steady stretches and sweeps both
// ways, equal neighbours (which an import must not merge), pitch changes.
inline Session FullTestSession() {
  Session ses;
  ses.SegCount = MaxSegCount;
  for (int32_t k = 1; k <= MaxSegCount; ++k) {
    Segment& s = ses[k];
    s.Time = 1 + (k * 7) % 23;
    s.Mode = k % 7;
    s.FreqStart = 1 + (k * 5) % 48;
    s.FreqEnd = k % 3 == 0 ? s.FreqStart : 1 + (k * 11) % 48;
    s.Pitch = k % 4 == 0 ? 400 : 48 + (k * 13) % 353;
  }
  ses[10] = ses[9];  // two equal steady neighbours
  ses[10].FreqEnd = ses[10].FreqStart = ses[9].FreqStart = ses[9].FreqEnd;
  return ses;
}

// The shipped example sessions and the full test session, by name.
inline std::vector<std::pair<std::string, Session>> ExchangeTestSessions(
    const std::string& examplesDir) {
  std::vector<std::pair<std::string, Session>> out;
  for (const auto& entry : std::filesystem::directory_iterator(examplesDir)) {
    if (entry.path().extension() != ".svs") continue;
    const SessionReadResult read = ReadSessionFile(entry.path().string());
    if (read) out.emplace_back(entry.path().stem().string(), *read);
  }
  out.emplace_back("full-380", FullTestSession());
  return out;
}

}  // namespace ovrel
