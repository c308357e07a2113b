#include "library/LibraryList.h"

#include <filesystem>

#include "library/MemoryBudget.h"
#include "library/SessionScan.h"

namespace ovrel {

LibraryList::Result LibraryList::Add(const std::optional<std::string>& path) {
  if (count_ + 1 > MaxLibSessions) return {Status::LibraryFull, kLibraryFullText};
  if (!path) return {Status::Ignored, {}};
  scratch_ = entries_;
  return AddAt(*path, count_);
}

LibraryList::Result LibraryList::Insert(const std::optional<std::string>& path,
                                        std::optional<int> index) {
  if (count_ + 1 > MaxLibSessions) return {Status::LibraryFull, kLibraryFullText};
  if (!path || !index || *index < 0 || *index >= count_) return {Status::Ignored, {}};
  scratch_ = entries_;
  for (int k = count_ - 1; k >= *index; --k) scratch_[k + 1] = scratch_[k];
  return AddAt(*path, *index);
}

LibraryList::Result LibraryList::AddAt(const std::string& path, int index) {
  if (auto error = OpenSessionSilently(path, index)) return {Status::FileError, *error};
  if (!RefreshAvailSesMem(count_ + 1)) return {Status::OutOfMemory, kOutOfMemoryText};
  ++count_;
  entries_ = scratch_;
  return {};
}

LibraryList::Result LibraryList::Remove(std::optional<int> index) {
  if (!index || *index < 0 || *index >= count_) return {Status::Ignored, {}};
  for (int k = *index + 1; k < count_; ++k) entries_[k - 1] = entries_[k];
  --count_;
  scratch_ = entries_;
  RefreshAvailSesMem(count_);
  return {};
}

void LibraryList::Clear() {
  count_ = 0;
  RefreshAvailSesMem(0);
}

std::vector<LibraryEntry> LibraryList::Entries() const {
  return {entries_.begin(), entries_.begin() + count_};
}

std::string LibraryList::DisplayName(int index) const {
  return std::filesystem::path(Entry(index).FilePath).filename().string();
}

std::string LibraryList::AvailMemLabel() const {
  return AvailMemText(percent_);
}

std::int64_t LibraryList::FreeBytes() const {
  std::int64_t segments = 0;
  for (int k = 0; k < count_; ++k) segments += entries_[k].NumOfSegs;
  return SesMemFreeBytes(count_, segments);
}

std::optional<std::string> LibraryList::OpenSessionSilently(const std::string& filePath,
                                                            int index) {
  const SessionScanRead read = ScanSessionFile(filePath);
  if (!read) return read.Error();
  const SessionScan& scan = *read;
  const std::int64_t seconds = 15 * scan.TimeUnits;
  LibraryEntry& entry = scratch_[index];
  entry.FilePath = filePath;
  entry.NumOfSegs = static_cast<std::int32_t>(scan.Segments.size());
  entry.Minutes = static_cast<std::int32_t>(seconds / 60);
  entry.Seconds = static_cast<std::int32_t>(seconds % 60);
  return std::nullopt;
}

bool LibraryList::RefreshAvailSesMem(int count) {
  std::int64_t segments = 0;
  for (int k = 0; k < count; ++k) segments += scratch_[k].NumOfSegs;
  const std::int64_t freeBytes = SesMemFreeBytes(count, segments);
  if (freeBytes < 0) return false;
  percent_ = SesMemPercent(freeBytes);
  return true;
}

}  // namespace ovrel
