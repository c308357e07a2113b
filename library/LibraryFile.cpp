#include "library/LibraryCompiler.h"
#include "fileio/AtomicFile.h"

namespace ovrel {

std::optional<std::string> WriteLibraryFile(const std::string& path,
                                            std::span<const std::uint8_t> image) {
  const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
  if (const FileWriteResult result = WriteFileAtomically(path, bytes); !result)
    return result.Error() + ".";
  return std::nullopt;
}

}  // namespace ovrel
