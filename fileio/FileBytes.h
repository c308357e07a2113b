#pragma once
// Reading a whole file from outside into memory, safely: only regular files
// are opened (a pipe, device, socket or folder is refused before it is
// opened, so nothing blocks), the size is bounded, and every failure becomes
// a message naming the file and the system's reason.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace ovrel {

// Largest session (.svs) or legacy (.rvx) file read. A session of 380
// segments takes about 8 KB, so this leaves ample room for comments.
inline constexpr std::size_t kMaxTextFileBytes = 1024 * 1024;

// The file's bytes, or why they were not read: NotFound, NotRegular (a
// folder, pipe, device or socket), TooLarge (more bytes than the limit) or
// CannotRead, as "Cannot read <path>: <reason>".
using FileBytes = Result<std::string>;

// The bytes of the regular file at path, at most maxBytes of them.
FileBytes ReadFileBytes(const std::string& path, std::size_t maxBytes);

// The same for a file already open as fd (read from its current offset), named path
// in messages: refused unless it is a regular file.
FileBytes ReadOpenFileBytes(int fd, const std::string& path, std::size_t maxBytes);

// A short quotation of text for a message: at most maxChars characters,
// followed by "..." when it was cut; control characters appear as \xNN.
std::string Excerpt(std::string_view text, std::size_t maxChars = 40);

}  // namespace ovrel
