// The library compiler's session reader. A text that it accepts compiles
// into an image that has the structure of a valid library with that one
// session: the image reader finds nothing wrong and counts the same
// segments.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "library/LibraryCompiler.h"
#include "library/LibraryImage.h"
#include "library/SessionScan.h"

namespace {

// The compiler reads its sessions from files; this one is rewritten for
// every accepted input.
const std::string& ScratchFile() {
  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("ovrel-fuzz-scan-" + std::to_string(::getpid()) + ".svs"))
                                      .string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ovrel::SessionScanRead read = ovrel::ScanSessionText(text, "fuzz.svs");
  if (!read) {
    FUZZ_CHECK(read.Error().find("fuzz.svs") != std::string::npos);
    return 0;
  }
  const ovrel::SessionScan& scan = *read;
  const auto segments = static_cast<std::int32_t>(scan.Segments.size());
  FUZZ_CHECK(segments >= 0 && segments <= ovrel::MaxSesFileSegs);
  std::int64_t units = 0;
  for (const auto& segment : scan.Segments) {
    FUZZ_CHECK((segment[0] & 0xFF) != 0);
    units += segment[0] % 32;
  }
  FUZZ_CHECK(units == scan.TimeUnits);
  if (ovrel::LibChecksumOffset(1, segments) + 1 > ovrel::SesMemSize) return 0;

  {
    std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  const ovrel::LibraryEntry entry{ScratchFile(), 0, 0, segments};
  const ovrel::CompiledLibrary compiled = ovrel::CompileSesLib(std::span(&entry, 1));
  FUZZ_CHECK(static_cast<bool>(compiled));
  const std::vector<std::uint8_t>& image = compiled->Image;
  std::filesystem::remove(ScratchFile());

  const ovrel::LibImageInfo info = ovrel::ReadLibraryImage(image);
  FUZZ_CHECK(info.Valid());
  FUZZ_CHECK(info.Sessions.size() == 1);
  FUZZ_CHECK(info.Sessions[0].Segments == segments);
  FUZZ_CHECK(info.ChecksumOffset + 1 == static_cast<int>(image.size()));
  return 0;
}
