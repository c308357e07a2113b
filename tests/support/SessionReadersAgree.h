#pragma once
// Feeds one session file text to every program part that reads session
// files (the editor, the library compiler, the single-session merge) and
// says where they disagree: on accepting or refusing it, on the message of
// a refusal, or on the segments read. The editor alone refuses a session
// without segments, since it cannot show one, and it alone takes a file
// whose total time line holds no two numbers, since it never reads them.

#include <cstdint>
#include <string>
#include <string_view>

#include "library/LibraryImage.h"
#include "library/SessionScan.h"
#include "format/SessionFile.h"

namespace ovrel::test {

struct ReadersVerdict {
  bool accepted = false;      // by the compiler
  std::string disagreement;  // empty when the readers agree
};

inline ReadersVerdict CompareSessionReaders(std::string_view text) {
  const std::string name = "s.svs";
  const SessionReadResult editor = ReadSessionText(text, name);
  const SessionRecordRead merge = ReadSessionRecord(text, name);
  const SessionScanRead scanned = ScanSessionText(text, name);
  const SessionScan scan = scanned ? *scanned : SessionScan{};
  const std::string scanError = scanned.Error();
  ReadersVerdict verdict;
  verdict.accepted = scanError.empty();
  auto disagree = [&verdict](std::string what) {
    verdict.disagreement = std::move(what);
    return verdict;
  };

  if (!verdict.accepted) {
    if (merge) return disagree("the merge accepts what the compiler refuses: " + scanError);
    if (merge.Error() != scanError)
      return disagree("different messages: \"" + scanError + "\", \"" + merge.Error() + "\"");
    if (merge.Kind() != scanned.Kind()) return disagree("different kinds: " + scanError);
    // The editor never reads the total time line: a file whose only fault
    // lies there opens in the editor when it has segments.
    const SessionLinesRead lines = ReadSessionLines(text, name);
    if (lines && lines->TotalTimeError == scanError) {
      if (static_cast<bool>(editor) == lines->Segments.empty())
        return disagree("the editor " + std::string(editor ? "accepts" : "refuses") +
                        " a file whose total time line alone is wrong: " + editor.Error());
      return verdict;
    }
    if (editor) return disagree("the editor accepts what the compiler refuses: " + scanError);
    if (editor.Error() != scanError)
      return disagree("different messages: \"" + scanError + "\", \"" + merge.Error() + "\", \"" +
                      editor.Error() + "\"");
    return verdict;
  }
  if (!merge) return disagree("the merge refuses what the compiler accepts: " + merge.Error());
  if (static_cast<bool>(editor) == scan.Segments.empty())
    return disagree("the editor " + std::string(editor ? "accepts" : "refuses") + " a session of " +
                    std::to_string(scan.Segments.size()) + " segments: " + editor.Error());

  const auto low = [](std::int32_t n) { return static_cast<std::uint8_t>(n & 0xFF); };
  if (merge->Minutes != low(scan.TotalTime[0]) || merge->Seconds != low(scan.TotalTime[1]))
    return disagree("the merge and the compiler read different total times");
  if (merge->Segments.size() != scan.Segments.size())
    return disagree("the merge and the compiler read different segment counts");
  for (std::size_t k = 0; k < scan.Segments.size(); ++k) {
    const auto& numbers = scan.Segments[k];
    for (std::size_t i = 0; i < numbers.size(); ++i)
      if (merge->Segments[k][i] != low(numbers[i]))
        return disagree("segment " + std::to_string(k + 1) + " differs between merge and compiler");
    if (editor) {
      const Segment fromNumbers =
          UnpackSegment({numbers[0], numbers[1], numbers[2], numbers[3], numbers[4]});
      if (!((*editor)[static_cast<std::int32_t>(k + 1)] == fromNumbers))
        return disagree("segment " + std::to_string(k + 1) +
                        " differs between editor and compiler");
    }
  }
  if (editor && editor->SegCount != static_cast<std::int32_t>(scan.Segments.size()))
    return disagree("the editor and the compiler read different segment counts");
  return verdict;
}

}  // namespace ovrel::test
