#pragma once
// The library list: the sessions gathered for one library, in library order,
// with the memory budget that keeps the library within the device memory.
// The compiler window and the command-line tool both work through it; it
// shows nothing and returns what the caller must show.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "library/LibraryEntry.h"
#include "library/LibraryImage.h"

namespace ovrel {

class LibraryList {
 public:
  enum class Status {
    Done,         // the change was made
    Ignored,      // nothing selected: nothing done, nothing to show
    LibraryFull,  // already MaxLibSessions sessions
    OutOfMemory,  // the session does not fit into the device memory
    FileError,    // the session file could not be read or is malformed
  };
  struct Result {
    Status Outcome = Status::Done;
    std::string Message;  // the error text to show; empty for Done and Ignored
    bool Ok() const { return Outcome == Status::Done; }
  };

  static constexpr const char* kLibraryFullText =
      "Maximum number of sessions in library limit exceeded. No more session can be added to the "
      "library.";
  static constexpr const char* kOutOfMemoryText =
      "This session cannot be added to the library. Out of memory.";

  // Appends the session file `path` (nothing: no file selected).
  Result Add(const std::optional<std::string>& path);
  // Inserts the session file `path` before entry `index` (nothing: no file,
  // or no entry, selected).
  Result Insert(const std::optional<std::string>& path, std::optional<int> index);
  // Removes entry `index`; out of range or nothing: Ignored.
  Result Remove(std::optional<int> index);
  // Empties the list; the gauge returns to 100%.
  void Clear();

  int Count() const { return count_; }
  const LibraryEntry& Entry(int index) const { return entries_.at(index); }
  // The entries in use, in library order.
  std::vector<LibraryEntry> Entries() const;
  // File name without folder of entry `index`, as the window lists it.
  std::string DisplayName(int index) const;

  // Per cent and label text of the last successful budget check.
  int AvailPercent() const { return percent_; }
  std::string AvailMemLabel() const;
  // Free bytes of the library as it stands.
  std::int64_t FreeBytes() const;

 private:
  using EntryArray = std::array<LibraryEntry, MaxLibSessions + 1>;

  // Reads the session file at `filePath` into entry `index` of the scratch
  // copy. Returns the error text, or nothing when the file was read.
  std::optional<std::string> OpenSessionSilently(const std::string& filePath, int index);
  // The budget over the first `count` scratch entries; on success updates
  // the per cent and returns true.
  bool RefreshAvailSesMem(int count);
  Result AddAt(const std::string& path, int index);

  EntryArray entries_{};
  EntryArray scratch_{};
  int count_ = 0;
  int percent_ = 100;
};

}  // namespace ovrel
