#pragma once
// The canonical form of a path: every part as the file system names it, with
// symbolic links resolved and "." and ".." removed.

#include <QString>

namespace ovrel {

// The canonical absolute form of name; empty when name holds a wildcard
// ("*" or "?") or names no existing file or folder.
QString CanonicalPath(const QString& name);

}  // namespace ovrel
