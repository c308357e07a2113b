#pragma once
// The segment operations of the editor. They change the SessionEditState and
// return what the window has to do afterwards; they never touch a window.
//
// first..last are the selected segments (first <= last), current is the
// segment under the cursor, row the cursor's parameter row (1..5). Every
// operation but CopySeg sets SesModified, also when nothing changed.

#include <cstdint>
#include <string>

#include "session/SessionEditState.h"

namespace ovrel {

inline const std::string kMaxSegCountError = "Maximum number of segments in session is 380";

struct SegOpResult {
  std::string Error;        // non-empty: show it (error box); nothing was changed
  int32_t RefreshFrom = 0;  // columns RefreshFrom..RefreshTo show new texts (0: none)
  int32_t RefreshTo = 0;
  bool CountChanged = false;  // SegCount changed: the grid needs SegCount columns
  int32_t Cursor = 0;         // the column the cursor goes to (0: where it is)
  int32_t TimesColumn = 0;    // show the session times for this column (0: no)

  bool Ok() const { return Error.empty(); }
};

// Session part of New: one default segment, SesModified and SesFileName
// cleared (SesName is left as it is).
void StartNewSession(SessionEditState& st);

SegOpResult AddNewSeg(SessionEditState& st, int32_t current);
SegOpResult InsSeg(SessionEditState& st, int32_t current);
SegOpResult DelSeg(SessionEditState& st, int32_t first, int32_t last, int32_t current);
void CopySeg(SessionEditState& st, int32_t first, int32_t last);
SegOpResult CutSeg(SessionEditState& st, int32_t first, int32_t last, int32_t current);
SegOpResult PasteSeg(SessionEditState& st, int32_t current);

SegOpResult IncVal(SessionEditState& st, int32_t first, int32_t last, int row);
SegOpResult DecVal(SessionEditState& st, int32_t first, int32_t last, int row);
SegOpResult FastIncVal(SessionEditState& st, int32_t first, int32_t last, int row);
SegOpResult FastDecVal(SessionEditState& st, int32_t first, int32_t last, int row);

enum class StepKind { Inc, Dec, FastInc, FastDec };
// One step of the value v of a parameter row; a step that would leave the
// row's range is not taken.
int32_t StepValue(int row, int32_t v, StepKind kind);

}  // namespace ovrel
