#pragma once
// Everything the session editor keeps about its session: the session, the
// segment clipboard (private to the editor), the modified flag and the file
// name. The clipboard lives as long as the editor and survives New and Open.

#include <cstdint>
#include <string>

#include "session/Session.h"

namespace ovrel {

struct SessionEditState {
  Session Ses;              // one default segment at start
  SegArray SegClipboard{};  // entries 1..ClipCount are valid
  int32_t ClipCount = 0;
  bool SesModified = false;  // changed since last saved or made new
  std::string SesFileName;   // full path Save writes to; empty for a new session
  std::string SesName;       // shown in the caption
};

// The session name for a file name: without its folder and without its last
// four characters (the ".svs"); "/a/b/Relax.svs" gives "Relax".
std::string SesNameFromFileName(const std::string& fileName);

}  // namespace ovrel
