#pragma once
// The segment operations of the editor. They change the session (and the
// editor's segment clipboard) and return what the window has to do
// afterwards; they never touch a window.
//
// first..last are the selected segments (first <= last), current is the
// segment under the cursor, row the cursor's parameter row (1..5). Every
// operation but CopySeg makes the session count as modified, also when
// nothing changed (SegOpResult::Modifies).

#include <cstdint>
#include <string>

#include "base/Result.h"
#include "session/Session.h"

namespace ovrel {

inline const std::string kMaxSegCountError = "Maximum number of segments in session is 380";

// The editor's own clipboard of segments (not the desktop's): entries
// 1..Count of Segs are valid. It lives as long as the editor and survives
// New and Open.
struct SegmentClipboard {
  SegArray Segs{};
  int32_t Count = 0;
};

// What the window does after an operation.
struct SegOpEffect {
  int32_t RefreshFrom = 0;  // columns RefreshFrom..RefreshTo show new texts (0: none)
  int32_t RefreshTo = 0;
  bool CountChanged = false;  // SegCount changed: the grid needs SegCount columns
  int32_t Cursor = 0;         // the column the cursor goes to (0: where it is)
  int32_t TimesColumn = 0;    // show the session times for this column (0: no)
  bool Modifies = false;      // the session now counts as modified
};
// The effect, or why nothing was changed (TooMany, kMaxSegCountError): the
// window shows it in an error box.
using SegOpResult = Result<SegOpEffect>;

// Session part of New: one default segment.
void StartNewSession(Session& ses);

SegOpResult AddNewSeg(Session& ses, int32_t current);
SegOpResult InsSeg(Session& ses, int32_t current);
SegOpResult DelSeg(Session& ses, int32_t first, int32_t last, int32_t current);
void CopySeg(const Session& ses, SegmentClipboard& clip, int32_t first, int32_t last);
SegOpResult CutSeg(Session& ses, SegmentClipboard& clip, int32_t first, int32_t last,
                   int32_t current);
SegOpResult PasteSeg(Session& ses, const SegmentClipboard& clip, int32_t current);

SegOpResult IncVal(Session& ses, int32_t first, int32_t last, int row);
SegOpResult DecVal(Session& ses, int32_t first, int32_t last, int row);
SegOpResult FastIncVal(Session& ses, int32_t first, int32_t last, int row);
SegOpResult FastDecVal(Session& ses, int32_t first, int32_t last, int row);

enum class StepKind { Inc, Dec, FastInc, FastDec };
// One step of the value v of a parameter row; a step that would leave the
// row's range is not taken.
int32_t StepValue(int row, int32_t v, StepKind kind);

}  // namespace ovrel
