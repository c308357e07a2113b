// The one check of every command's output file: it is never one of the
// command's inputs and never carries another format's extension.

#include <array>
#include <filesystem>

#include "cli/Command.h"

namespace ovrel::cli {
namespace {

// The extensions of every format the program reads or writes.
constexpr std::array<const char*, 11> kKnownExtensions{
    ".svs", ".svl", ".rvx", ".csv", ".sbg", ".gnaural", ".wav", ".flac", ".ogg", ".png", ".svg"};

bool IsSameFile(const std::string& a, const std::string& b) {
  std::error_code error;  // a file that does not exist yet is no input
  return std::filesystem::equivalent(a, b, error);
}

}  // namespace

int RefuseOutput(Context& ctx, const char* command, const std::string& output,
                 const std::vector<std::string>& formats, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (IsSameFile(input, output)) {
      const std::string shown =
          input == output ? "\"" + output + "\"" : "\"" + output + "\" is \"" + input + "\"";
      return ctx.UsageError(command,
                            "writes a new file: the output must not be the input (" + shown + ").");
    }
  }
  for (const std::string& format : formats)
    if (HasExtension(output, format)) return ExitOk;
  std::string own;  // ".a", ".a or .b", ".a, .b or .c"
  for (std::size_t i = 0; i < formats.size(); ++i)
    own += (i == 0 ? "" : i + 1 == formats.size() ? " or " : ", ") + formats[i];
  for (const char* known : kKnownExtensions) {
    if (HasExtension(output, known)) {
      return ctx.UsageError(command, "\"" + output + "\" ends in " + known +
                                         ", the extension of another format: the output is a " +
                                         own + " file.");
    }
  }
  return ExitOk;
}

}  // namespace ovrel::cli
