#include "library/LibraryCompiler.h"
#include "session/AtomicFile.h"

namespace ovrel {

void WriteLibraryFile(const std::string& path, std::span<const std::uint8_t> image) {
  const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
  if (const FileWriteResult result = writeFileAtomically(path, bytes); !result)
    throw LibraryError(result.error + ".");
}

}  // namespace ovrel
