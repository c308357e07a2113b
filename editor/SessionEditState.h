#pragma once
// Everything the session editor keeps about its session: the session, the
// segment clipboard (private to the editor), the modified flag and the file
// name. The clipboard lives as long as the editor and survives New and Open.

#include <string>

#include "session/SegmentOps.h"
#include "session/Session.h"
#include "session/SessionName.h"

namespace ovrel {

struct SessionEditState {
  Session Ses;  // one default segment at start
  SegmentClipboard Clipboard;
  bool SesModified = false;  // changed since last saved or made new
  std::string SesFileName;   // full path Save writes to; empty for a new session
  std::string SesName;       // shown in the caption
};

}  // namespace ovrel
